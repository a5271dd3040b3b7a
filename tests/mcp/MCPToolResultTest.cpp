#include "mcp/MCPToolResult.h"

#include <gtest/gtest.h>
#include <string>

namespace {

MCPToolResult fromJSON(const std::string &json)
{
    return MCPToolResult::fromJSON(std::get<AnyCodable::Object>(
        AnyCodable::decode(nlohmann::ordered_json::parse(json)).value()));
}

} // namespace

TEST(MCPToolResult, KeepsOnlyContentItemsWithTextTypeAndText)
{
    const auto result = fromJSON(R"({"content":[
        {"type":"text","text":"one"},
        {"type":"image","data":"iVBORw0KGgo=","mimeType":"image/png"},
        {"type":"text","text":7},
        {"type":"text","text":"two"}]})");
    EXPECT_EQ(result.content, (std::vector<MCPContent>{{"text", "one"}, {"text", "two"}}));
    EXPECT_FALSE(result.isError);
    EXPECT_FALSE(result.structuredContent);
    EXPECT_EQ(result.text(), "one\ntwo");
}

TEST(MCPToolResult, IsErrorIsReadOnlyFromABoolean)
{
    EXPECT_TRUE(fromJSON(R"({"isError":true})").isError);
    EXPECT_FALSE(fromJSON(R"({"isError":"true"})").isError);
    EXPECT_EQ(fromJSON(R"({"content":"text","isError":1})"), MCPToolResult{});
    EXPECT_EQ(MCPToolResult{}.text(), "");
}

TEST(MCPToolResult, TextIsTheStructuredContentAsCompactJSONWhenPresent)
{
    const auto result = fromJSON(
        R"({"content":[{"type":"text","text":"fine"}],"structuredContent":{"b": [1, 2.5], "a": null}})");
    EXPECT_EQ(result.text(), R"({"b":[1,2.5],"a":null})");
    EXPECT_EQ(fromJSON(R"({"structuredContent":"plain"})").text(), R"("plain")");
}

TEST(MCPToolResult, StructuredContentThatCannotBeSerialisedFallsBackToTheContent)
{
    MCPToolResult result;
    result.content = {{"text", "readable"}};
    result.structuredContent.emplace(std::string("\xff\xfe"));
    EXPECT_EQ(result.text(), "readable");
}
