#include "mcp/MCPResponseParser.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

AnyCodable::Object parse(const std::string &json)
{
    return std::get<AnyCodable::Object>(
        AnyCodable::decode(nlohmann::ordered_json::parse(json)).value());
}

} // namespace

TEST(MCPResponseParser, DataLinesAreJoinedWithoutSeparatorsAndOtherFieldsIgnored)
{
    const std::string body = "event: message\nid: 42\n  data: {\"result\":\n"
                             "data:\t{\"tools\":[]} \t\n: comment\n\ndata:}\n";
    EXPECT_EQ(MCPResponseParser::parseSSEResponse(body), R"({"result":{"tools":[]}})");
    EXPECT_EQ(MCPResponseParser::parseSSEResponse("event: ping\n\n"), "");
    EXPECT_EQ(MCPResponseParser::parseSSEResponse(""), "");
}

TEST(MCPResponseParser, EventPayloadsAreJoinedPerEvent)
{
    const std::string body = "event: message\r\ndata: {\"method\":\r\ndata: \"log\"}\r\n\r\n"
                             "event: ping\r\n\r\n"
                             "data: {\"id\":1,\r\ndata: \"result\":{}}\r\n";
    EXPECT_EQ(MCPResponseParser::eventPayloads(body),
              (std::vector<std::string>{R"({"method":"log"})", R"({"id":1,"result":{}})"}));
    EXPECT_TRUE(MCPResponseParser::eventPayloads("\n\n: keep-alive\n").empty());
}

TEST(MCPResponseParser, ToolsAreReadOnlyFromAListOfObjectsUnderResult)
{
    EXPECT_EQ(
        MCPResponseParser::extractTools(parse(R"({"result":{"tools":[{"name":"a"},{}]}})")).size(),
        2U);
    for (const char *reply :
         {R"({})", R"({"result":[]})", R"({"result":{}})", R"({"result":{"tools":{}}})",
          R"({"result":{"tools":[{"name":"a"},3]}})"})
        EXPECT_TRUE(MCPResponseParser::extractTools(parse(reply)).empty()) << reply;
}

TEST(MCPResponseParser, ErrorMessageAndResultAreTakenOnlyWhenOfTheirKind)
{
    EXPECT_EQ(MCPResponseParser::extractError(parse(R"({"error":{"code":-1,"message":"boom"}})")),
              "boom");
    EXPECT_EQ(MCPResponseParser::extractError(parse(R"({"error":{"message":7}})")), std::nullopt);
    EXPECT_EQ(MCPResponseParser::extractError(parse(R"({"error":"boom"})")), std::nullopt);

    const auto result = MCPResponseParser::extractResult(parse(R"({"result":{"a":1}})"));
    ASSERT_TRUE(result);
    EXPECT_TRUE(AnyCodable::equal(*result, AnyCodable::Object{{"a", 1}}));
    EXPECT_FALSE(MCPResponseParser::extractResult(parse(R"({"result":"done"})")));
}
