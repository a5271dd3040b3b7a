#include "mcp/MCPRequestBuilder.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string wire(const AnyCodable::Object &message)
{
    return AnyCodable(message).encode().dump();
}

std::int64_t nowMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace

TEST(MCPRequestBuilder, RequestKeysAreInWireOrderWithTheCallersId)
{
    const auto request =
        MCPRequestBuilder::buildRequest("tools/call", AnyCodable::Object{{"z", 1}, {"a", 2}}, 7);
    EXPECT_EQ(wire(request),
              R"({"jsonrpc":"2.0","id":7,"method":"tools/call","params":{"z":1,"a":2}})");
}

TEST(MCPRequestBuilder, IdIsTheCurrentTimeInWholeMillisecondsAndParamsAreLeftOutWhenNone)
{
    const auto before = nowMilliseconds();
    const auto request = MCPRequestBuilder::buildListToolsRequest();
    const auto after = nowMilliseconds();

    ASSERT_EQ(request.size(), 3U);
    const auto id = std::get<std::int64_t>(request.at("id").value());
    EXPECT_GE(id, before);
    EXPECT_LE(id, after);
    EXPECT_EQ(wire(request),
              R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"method":"tools/list"})");
}

TEST(MCPRequestBuilder, InitializeAnnouncesProtocolVersionAndClient)
{
    const auto request = MCPRequestBuilder::buildInitializeRequest();
    EXPECT_EQ(std::get<std::string>(request.at("method").value()), "initialize");
    EXPECT_EQ(
        AnyCodable(request.at("params")).encode().dump(),
        R"({"protocolVersion":"2025-03-26","capabilities":{},"clientInfo":{"name":"vessa-mac","version":"1.0.0"}})");
}

TEST(MCPRequestBuilder, InitializedNotificationHasExactlyTwoKeys)
{
    EXPECT_EQ(wire(MCPRequestBuilder::buildInitializedNotification()),
              R"({"jsonrpc":"2.0","method":"notifications/initialized"})");
}

TEST(MCPRequestBuilder, CallToolPutsTheNameBeforeTheArguments)
{
    const auto request = MCPRequestBuilder::buildCallToolRequest(
        "get-sum", AnyCodable::Object{{"b", 2}, {"a", 1.5}});
    EXPECT_EQ(std::get<std::string>(request.at("method").value()), "tools/call");
    EXPECT_EQ(AnyCodable(request.at("params")).encode().dump(),
              R"({"name":"get-sum","arguments":{"b":2,"a":1.5}})");
}
