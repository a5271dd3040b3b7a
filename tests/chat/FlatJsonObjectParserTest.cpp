#include "chat/FlatJsonObjectParser.h"

#include <gtest/gtest.h>
#include <string_view>

namespace {

using Json = nlohmann::ordered_json;

class FlatJsonObjectParserAccepted : public testing::TestWithParam<std::string_view>
{};

class FlatJsonObjectParserDeclined : public testing::TestWithParam<std::string_view>
{};

} // namespace

TEST_P(FlatJsonObjectParserAccepted, GivesWhatTheGeneralParserGives)
{
    const auto fast = FlatJsonObjectParser::parse(GetParam());
    ASSERT_TRUE(fast);
    const Json general = Json::parse(GetParam());
    EXPECT_EQ(*fast, general);
    EXPECT_EQ(fast->dump(), general.dump());
}

INSTANTIATE_TEST_SUITE_P(
    FlatObjects, FlatJsonObjectParserAccepted,
    testing::Values(
        R"({"delta":"Hello"})", "{}", " \t{ } \r\n",
        R"({ "type" : "content_delta" , "delta" : "a few words" })",
        R"({"t":true,"f":false,"n":null,"s":""})", R"({"esc":"\"q\" \\ \/ \b\f\n\r\t"})",
        "{\"utf8\":\"caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x99\x82 \xF4\x8F\xBF\xBF\"}",
        "{\"edge\":\"\xC2\x80\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xF0\x90\x80\x80\"}",
        "{\"\xC3\xA9\":\"key\"}", R"({"a":"1","b":"2","a":"3"})", "{\"del\":\"\x7F\"}"));

TEST_P(FlatJsonObjectParserDeclined, LeavesTheTextToTheGeneralParser)
{
    EXPECT_EQ(FlatJsonObjectParser::parse(GetParam()), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    OutsideTheShape, FlatJsonObjectParserDeclined,
    testing::Values(R"({"n":1})", R"({"o":{}})", R"({"a":[]})", R"({"u":"\u00e9"})",
                    "\xEF\xBB\xBF{}", "[]", R"("s")", "", "{", R"({"a":"b")", R"({"a":"b",})",
                    R"({"a" "b"})", R"({"a":"b"}x)", R"({"a":tru})", R"({"a":truex})",
                    R"({"a":"\x"})", R"({a:"b"})", "{\"tab\":\"\t\"}",
                    std::string_view("{\"nul\":\"\0\"}", 11), "{\"bad\":\"\xFF\"}",
                    "{\"overlong\":\"\xC0\x80\"}", "{\"overlong\":\"\xE0\x9F\xBF\"}",
                    "{\"surrogate\":\"\xED\xA0\x80\"}", "{\"too high\":\"\xF4\x90\x80\x80\"}",
                    "{\"cut\":\"\xE6\x97\"}", "{\"cut\":\"\xF0\x9F\x99"));
