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

TEST(MCPTool, ConvertsToBothToolShapesInKeyOrderWithDefaultsForWhatIsMissing)
{
    const auto tool = MCPTool::fromJSON(parse(
        R"({"name":"echo","description":"Echoes","inputSchema":{"type":"object","required":["m"]}})"));
    ASSERT_TRUE(tool);
    EXPECT_EQ(
        wire(tool->toAnthropicTool()),
        R"({"name":"echo","description":"Echoes","input_schema":{"type":"object","required":["m"]}})");

    const auto bare =
        MCPTool::fromJSON(parse(R"({"name":"sum","description":5,"inputSchema":[]})"));
    ASSERT_TRUE(bare);
    EXPECT_EQ(
        wire(bare->toOpenAITool()),
        R"({"type":"function","name":"sum","description":"Tool: sum","parameters":{"type":"object","properties":{},"required":[]}})");
    EXPECT_FALSE(MCPTool::fromJSON(parse(R"({"name":12})")));
}
