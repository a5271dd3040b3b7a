#include "NodePeer.h"
#include "mcp/MCPService.h"
#include "support/TaskAwaiting.h"

#include <QSignalSpy>
#include <algorithm>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

using namespace std::chrono_literals;

// Against MCP servers that this project did not write: the reference server "everything" and two
// small servers built on the official SDK (tests/peers). They need the npm packages that
// scripts/setup.sh installs.
class MCPServicePeersTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!NodePeer::installed()) {
            std::cerr << "\n*** SKIPPING MCP PEER TESTS: no node_modules in "
                      << NodePeer::peersDirectory().toStdString()
                      << " - run scripts/setup.sh to install them ***\n\n";
            GTEST_SKIP() << "the npm test peers are not installed";
        }
    }

    std::unique_ptr<MCPService> serviceFor(const QUrl &url)
    {
        auto service = std::make_unique<MCPService>(url, 10ms);
        service->configure("peer-user");
        return service;
    }
};

TEST_F(MCPServicePeersTest, EverythingServerListsAndCallsTools)
{
    NodePeer peer("everything-local.mjs");
    ASSERT_TRUE(peer.isRunning());
    auto service = serviceFor(peer.url("/mcp"));

    const QString session = awaitTask(service->ensureSession());
    const auto tools = awaitTask(service->listTools());
    const auto echo = awaitTask(service->callTool("echo", {{"message", "héllo"}}));
    const auto sum = awaitTask(service->callTool("get-sum", {{"a", 2}, {"b", 3.5}}));
    const auto unknown = awaitTask(service->callTool("no-such-tool", {}));

    EXPECT_GT(tools.size(), 10U);
    const auto named = [&tools](const std::string &name) {
        return std::find_if(tools.begin(), tools.end(),
                            [&name](const MCPTool &tool) { return tool.name == name; });
    };
    ASSERT_NE(named("echo"), tools.end());
    ASSERT_NE(named("get-sum"), tools.end());
    EXPECT_TRUE(named("echo")->inputSchema);

    EXPECT_EQ(echo.text(), "Echo: héllo");
    EXPECT_FALSE(echo.isError);
    EXPECT_EQ(sum.text(), "The sum of 2 and 3.5 is 5.5.");
    EXPECT_TRUE(unknown.isError);
    EXPECT_NE(unknown.text().find("no-such-tool"), std::string::npos) << unknown.text();
    EXPECT_EQ(service->sessionId(), session);
}

TEST_F(MCPServicePeersTest, ConcurrentCallsOnAFreshServiceShareOneSession)
{
    NodePeer peer("everything-local.mjs");
    ASSERT_TRUE(peer.isRunning());
    auto service = serviceFor(peer.url("/mcp"));
    QSignalSpy sessionChanges(service.get(), &MCPService::sessionIdChanged);

    std::vector<QCoro::Task<MCPToolResult>> calls;
    for (int i = 0; i < 4; ++i)
        calls.push_back(service->callTool("echo", {{"message", std::to_string(i)}}));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(awaitTask(std::move(calls[std::size_t(i)])).text(), "Echo: " + std::to_string(i));
    EXPECT_EQ(sessionChanges.count(), 1);
    EXPECT_FALSE(service->sessionId().isEmpty());
}

TEST_F(MCPServicePeersTest, EverythingServerRestartIsRecoveredWithANewSession)
{
    NodePeer peer("everything-local.mjs");
    ASSERT_TRUE(peer.isRunning());
    auto service = serviceFor(peer.url("/mcp"));
    const QString before = awaitTask(service->ensureSession());

    peer.restart();
    ASSERT_TRUE(peer.isRunning());
    const auto echo = awaitTask(service->callTool("echo", {{"message", "again"}}));

    EXPECT_EQ(echo.text(), "Echo: again");
    EXPECT_NE(service->sessionId(), before);
    EXPECT_FALSE(service->sessionId().isEmpty());
}

TEST_F(MCPServicePeersTest, StatelessServerWorksWithoutSessionIdentifier)
{
    NodePeer peer("stateless-server.mjs");
    ASSERT_TRUE(peer.isRunning());
    auto service = serviceFor(peer.url());

    const auto tools = awaitTask(service->listTools());
    const auto echo = awaitTask(service->callTool("echo", {{"message", "hi"}}));

    ASSERT_EQ(tools.size(), 1U);
    EXPECT_EQ(tools[0].name, "echo");
    EXPECT_EQ(echo.text(), "Echo: hi");
    EXPECT_TRUE(service->hasSession());
    EXPECT_TRUE(service->sessionId().isEmpty());
}
