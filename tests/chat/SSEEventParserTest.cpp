#include "chat/SSEEventParser.h"

#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <variant>

namespace {

using Json = nlohmann::ordered_json;
using Parsed = SSEEventParser::ParsedEvent;

Parsed parseText(std::string_view json, std::optional<std::string> eventType = std::nullopt)
{
    return SSEEventParser::parse(Json::parse(json), eventType);
}

std::string resultOf(std::string_view json)
{
    const Parsed parsed = parseText(json, "tool_result");
    const auto *toolResult = std::get_if<SSEEventParser::ToolResult>(&parsed);
    return toolResult != nullptr ? toolResult->result : "<not a tool result>";
}

std::string nested(std::size_t depth)
{
    return "data: {\"a\":" + std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}";
}

struct ResultCase
{
    std::string_view json;
    std::string_view result;
};

void PrintTo(const ResultCase &resultCase, std::ostream *out)
{
    *out << resultCase.json;
}

class SSEEventParserResultText : public testing::TestWithParam<ResultCase>
{};

} // namespace

TEST(SSEEventParser, EventTypeIsTheRestOfAnEventLineUntrimmed)
{
    EXPECT_EQ(SSEEventParser::parseEventType("event: content_delta"), "content_delta");
    EXPECT_EQ(SSEEventParser::parseEventType("event:  padded "), " padded ");
    EXPECT_EQ(SSEEventParser::parseEventType("event: "), "");
    EXPECT_EQ(SSEEventParser::parseEventType("event:content_delta"), std::nullopt);
    EXPECT_EQ(SSEEventParser::parseEventType("Event: content_delta"), std::nullopt);
    EXPECT_EQ(SSEEventParser::parseEventType("data: {}"), std::nullopt);
}

TEST(SSEEventParser, DataLineGivesOnlyObjects)
{
    EXPECT_EQ(SSEEventParser::parseDataLine(R"(data: {"delta":"Hello","n":[1,2.5,{"k":null}]})"),
              Json::parse(R"({"delta":"Hello","n":[1,2.5,{"k":null}]})"));
    EXPECT_EQ(SSEEventParser::parseDataLine(R"(data:   {"b":1,"a":2}  )")->dump(),
              R"({"b":1,"a":2})");
    EXPECT_EQ(SSEEventParser::parseDataLine(R"(data: {"e":"\u00e9\ud83d\ude42"})"),
              Json::parse("{\"e\":\"\xC3\xA9\xF0\x9F\x99\x82\"}"));
    EXPECT_EQ(SSEEventParser::parseDataLine("data: [DONE]"), std::nullopt);
    EXPECT_EQ(SSEEventParser::parseDataLine("data: [{}]"), std::nullopt);
    EXPECT_EQ(SSEEventParser::parseDataLine("data:{}"), std::nullopt);
    EXPECT_EQ(SSEEventParser::parseDataLine("{}"), std::nullopt);
}

TEST(SSEEventParser, DataLineNestedPastTheLimitIsSkipped)
{
    EXPECT_TRUE(SSEEventParser::parseDataLine(nested(512)));
    EXPECT_EQ(SSEEventParser::parseDataLine(nested(513)), std::nullopt);
    EXPECT_EQ(SSEEventParser::parseDataLine(nested(1'000'000)), std::nullopt);
}

TEST(SSEEventParser, EventTypeNamesTheEvent)
{
    EXPECT_EQ(parseText(R"({"delta":"Hello"})", "content_delta"),
              Parsed(SSEEventParser::ContentDelta{"Hello"}));
    EXPECT_EQ(parseText(R"({"type":"message_complete"})"),
              Parsed(SSEEventParser::MessageComplete{}));
    EXPECT_EQ(parseText(R"({"type":"message_complete","delta":"x"})", "content_delta"),
              Parsed(SSEEventParser::ContentDelta{"x"}));
    EXPECT_EQ(parseText(R"({"type":"message_complete"})", "content_delta"),
              Parsed(SSEEventParser::Unknown{}));
    EXPECT_EQ(parseText(R"({"type":"message_complete"})", ""), Parsed(SSEEventParser::Unknown{}));
    EXPECT_EQ(parseText(R"({"type":7})"), Parsed(SSEEventParser::Unknown{}));
    EXPECT_EQ(parseText("{}"), Parsed(SSEEventParser::Unknown{}));
    EXPECT_EQ(parseText(R"({"delta":"x"})", "Content_Delta"), Parsed(SSEEventParser::Unknown{}));
    EXPECT_EQ(parseText(R"({"delta":"x"})", "ping"), Parsed(SSEEventParser::Unknown{}));
}

TEST(SSEEventParser, ContentDeltaNeedsAStringDelta)
{
    EXPECT_EQ(parseText(R"({"type":"content_delta","delta":""})"),
              Parsed(SSEEventParser::ContentDelta{""}));
    EXPECT_EQ(parseText(R"({"delta":5})", "content_delta"), Parsed(SSEEventParser::Unknown{}));
    EXPECT_EQ(parseText(R"({"delta":null})", "content_delta"), Parsed(SSEEventParser::Unknown{}));
}

TEST(SSEEventParser, ToolUseStartTakesAnObjectInputOrAnEmptyOne)
{
    const Parsed withInput =
        parseText(R"({"tool_id":"t1","tool":"search","input":{"q":"x","n":2}})", "tool_use_start");
    const auto &start = std::get<SSEEventParser::ToolUseStart>(withInput);
    EXPECT_EQ(start.id, "t1");
    EXPECT_EQ(start.name, "search");
    EXPECT_EQ(start.input.dump(), R"({"q":"x","n":2})");

    for (const std::string_view json :
         {R"({"tool_id":"t1","tool":"search"})", R"({"tool_id":"t1","tool":"search","input":[1]})",
          R"({"tool_id":"t1","tool":"search","input":"q"})"}) {
        const Parsed parsed = parseText(json, "tool_use_start");
        EXPECT_EQ(std::get<SSEEventParser::ToolUseStart>(parsed).input, Json::object()) << json;
    }
    EXPECT_EQ(parseText(R"({"tool_id":"t1"})", "tool_use_start"),
              Parsed(SSEEventParser::Unknown{}));
    EXPECT_EQ(parseText(R"({"tool":"search"})", "tool_use_start"),
              Parsed(SSEEventParser::Unknown{}));
    EXPECT_EQ(parseText(R"({"tool_id":1,"tool":"search"})", "tool_use_start"),
              Parsed(SSEEventParser::Unknown{}));
}

TEST(SSEEventParser, ToolResultErrorFlagMustBeABoolean)
{
    EXPECT_EQ(parseText(R"({"tool_id":"t1","result":"ok","is_error":true})", "tool_result"),
              Parsed(SSEEventParser::ToolResult{"t1", "ok", true}));
    EXPECT_EQ(parseText(R"({"tool_id":"t1","is_error":"true"})", "tool_result"),
              Parsed(SSEEventParser::ToolResult{"t1", "", false}));
    EXPECT_EQ(parseText(R"({"tool_id":"t1","is_error":1})", "tool_result"),
              Parsed(SSEEventParser::ToolResult{"t1", "", false}));
    EXPECT_EQ(parseText(R"({"result":"ok"})", "tool_result"), Parsed(SSEEventParser::Unknown{}));
}

TEST_P(SSEEventParserResultText, ResultBecomesText)
{
    EXPECT_EQ(resultOf(GetParam().json), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    EveryJsonKind, SSEEventParserResultText,
    testing::Values(ResultCase{R"({"tool_id":"t"})", ""},
                    ResultCase{R"({"tool_id":"t","result":"  as is \n"})", "  as is \n"},
                    ResultCase{R"({"tool_id":"t","result":{"b":[1, 2], "a":"\u00e9"}})",
                               "{\"b\":[1,2],\"a\":\"\xC3\xA9\"}"},
                    ResultCase{R"({"tool_id":"t","result":[ "x" , {} ]})", R"(["x",{}])"},
                    ResultCase{R"({"tool_id":"t","result":42})", "42"},
                    ResultCase{R"({"tool_id":"t","result":-7})", "-7"},
                    ResultCase{R"({"tool_id":"t","result":3.5})", "3.5"},
                    ResultCase{R"({"tool_id":"t","result":true})", "1"},
                    ResultCase{R"({"tool_id":"t","result":false})", "0"},
                    ResultCase{R"({"tool_id":"t","result":null})", "<null>"}));

TEST(SSEEventParser, MessageCompleteWhateverTheObjectHolds)
{
    EXPECT_EQ(parseText(R"({"stop_reason":"end_turn","usage":{"t":1}})", "message_complete"),
              Parsed(SSEEventParser::MessageComplete{}));
}

TEST(SSEEventParser, ErrorFallsBackToFixedTexts)
{
    EXPECT_EQ(parseText("{}", "error"), Parsed(SSEEventParser::Error{"Unknown error", "unknown"}));
    EXPECT_EQ(parseText(R"({"error":"Overloaded","code":"529"})", "error"),
              Parsed(SSEEventParser::Error{"Overloaded", "529"}));
    EXPECT_EQ(parseText(R"({"type":"error","error":{"m":1},"code":529})"),
              Parsed(SSEEventParser::Error{"Unknown error", "unknown"}));
}

TEST(SSEEventParser, ToolUseStartEqualityIgnoresTheInput)
{
    using Start = SSEEventParser::ToolUseStart;
    EXPECT_EQ(Parsed(Start{"t", "search", Json{{"q", 1}}}), Parsed(Start{"t", "search", {}}));
    EXPECT_NE(Parsed(Start{"t", "search", {}}), Parsed(Start{"t", "fetch", {}}));
    EXPECT_NE(Parsed(Start{"t", "search", {}}), Parsed(Start{"u", "search", {}}));
}

TEST(SSEEventParser, EventsOfDifferentKindsAreUnequal)
{
    EXPECT_NE(Parsed(SSEEventParser::MessageComplete{}), Parsed(SSEEventParser::Unknown{}));
    EXPECT_NE(Parsed(SSEEventParser::ContentDelta{"x"}), Parsed(SSEEventParser::Error{"x", ""}));
    EXPECT_NE(Parsed(SSEEventParser::ToolResult{"t", "r", false}),
              Parsed(SSEEventParser::ToolResult{"t", "r", true}));
    EXPECT_EQ(Parsed(SSEEventParser::Unknown{}), Parsed(SSEEventParser::Unknown{}));
}
