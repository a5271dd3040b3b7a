#include "mcp/MCPTool.h"

#include <gtest/gtest.h>
#include <string>

namespace {

AnyCodable::Object parse(const std::string &json)
{
    return std::get<AnyCodable::Object>(
        AnyCodable::decode(nlohmann::ordered_json::parse(json)).value());
}

std::string wire(const AnyCodable::Object &object)
{
    return AnyCodable(object).encode().dump();
}

} // namespace

TEST(MCPTool, NeedsATextName)
{
    EXPECT_FALSE(MCPTool::fromJSON(parse(R"({"description":"no name"})")));
    EXPECT_FALSE(MCPTool::fromJSON(parse(R"({"name":12})")));
}

TEST(MCPTool, DescriptionAndSchemaOfAnotherKindAreLeftOut)
{
    const auto tool = MCPTool::fromJSON(parse(R"({"name":"t","description":5,"inputSchema":[]})"));
    ASSERT_TRUE(tool);
    EXPECT_EQ(*tool, (MCPTool{"t", std::nullopt, std::nullopt}));
}

TEST(MCPTool, ConvertsToBothToolShapesInKeyOrder)
{
    const auto tool = MCPTool::fromJSON(parse(
        R"({"name":"echo","description":"Echoes","inputSchema":{"type":"object","required":["m"]}})"));
    ASSERT_TRUE(tool);
    EXPECT_EQ(
        wire(tool->toAnthropicTool()),
        R"({"name":"echo","description":"Echoes","input_schema":{"type":"object","required":["m"]}})");
    EXPECT_EQ(
        wire(tool->toOpenAITool()),
        R"({"type":"function","name":"echo","description":"Echoes","parameters":{"type":"object","required":["m"]}})");
}

TEST(MCPTool, MissingDescriptionAndSchemaGetDefaults)
{
    const auto tool = MCPTool::create("get-sum");
    ASSERT_TRUE(tool);
    EXPECT_EQ(
        wire(tool->toAnthropicTool()),
        R"({"name":"get-sum","description":"Tool: get-sum","input_schema":{"type":"object","properties":{},"required":[]}})");
    EXPECT_EQ(
        wire(tool->toOpenAITool()),
        R"({"type":"function","name":"get-sum","description":"Tool: get-sum","parameters":{"type":"object","properties":{},"required":[]}})");
}

TEST(MCPTool, CreateKeepsTheGivenParts)
{
    const auto tool = MCPTool::create("t", "d", AnyCodable::Object{{"type", "object"}});
    ASSERT_TRUE(tool);
    EXPECT_EQ(*tool, (MCPTool{"t", "d", AnyCodable::Object{{"type", "object"}}}));
}
