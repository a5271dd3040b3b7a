#include "NodePeer.h"
#include "mcp/MCPService.h"
#include "support/TaskAwaiting.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>
#include <string>

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

    testing::internal::CaptureStdout();
    const QString session = awaitTask(service->ensureSession());
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(log, "[MCPService] Session initialized: " + session.left(20).toStdString() + "...\n");

    testing::internal::CaptureStdout();
    const auto tools = awaitTask(service->listTools());
    const auto echo = awaitTask(service->callTool("echo", {{"message", "héllo"}}));
    const auto sum = awaitTask(service->callTool("get-sum", {{"a", 2}, {"b", 3.5}}));
    const auto unknown = awaitTask(service->callTool("no-such-tool", {}));
    testing::internal::GetCapturedStdout();

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

TEST_F(MCPServicePeersTest, EverythingServerRestartIsRecoveredWithANewSession)
{
    NodePeer peer("everything-local.mjs");
    ASSERT_TRUE(peer.isRunning());
    auto service = serviceFor(peer.url("/mcp"));
    const QString before = awaitTask(service->ensureSession());

    peer.restart();
    ASSERT_TRUE(peer.isRunning());
    testing::internal::CaptureStdout();
    const auto echo = awaitTask(service->callTool("echo", {{"message", "again"}}));
    const std::string log = testing::internal::GetCapturedStdout();

    EXPECT_EQ(echo.text(), "Echo: again");
    EXPECT_NE(log.find("[MCPService] tools/call response status: 400\n"
                       "[MCPService] Session error (400), retrying in 1.0s (attempt 1/2)\n"
                       "[MCPService] Session initialized: "),
              std::string::npos)
        << log;
    EXPECT_NE(service->sessionId(), before);
    EXPECT_FALSE(service->sessionId().isEmpty());
}

TEST_F(MCPServicePeersTest, StatelessServerWorksWithoutSessionIdentifier)
{
    NodePeer peer("stateless-server.mjs");
    ASSERT_TRUE(peer.isRunning());
    auto service = serviceFor(peer.url());

    testing::internal::CaptureStdout();
    const auto tools = awaitTask(service->listTools());
    const auto echo = awaitTask(service->callTool("echo", {{"message", "hi"}}));
    const std::string log = testing::internal::GetCapturedStdout();

    ASSERT_EQ(tools.size(), 1U);
    EXPECT_EQ(tools[0].name, "echo");
    EXPECT_EQ(echo.text(), "Echo: hi");
    EXPECT_TRUE(service->hasSession());
    EXPECT_TRUE(service->sessionId().isEmpty());
    EXPECT_EQ(log.substr(0, log.find('\n')), "[MCPService] Session initialized: (stateless)...");
}

TEST_F(MCPServicePeersTest, StructuredContentIsTheResultText)
{
    NodePeer peer("structured-server.mjs");
    ASSERT_TRUE(peer.isRunning());
    auto service = serviceFor(peer.url());

    testing::internal::CaptureStdout();
    const auto result = awaitTask(service->callTool("get-weather", {{"city", "Oslo"}}));
    testing::internal::GetCapturedStdout();

    EXPECT_EQ(result.text(), R"({"city":"Oslo","temperature":21.5,"sunny":true})");
    EXPECT_EQ(result.content, (std::vector<MCPContent>{{"text", "The weather in Oslo is fine."}}));
    EXPECT_FALSE(service->sessionId().isEmpty());
}
