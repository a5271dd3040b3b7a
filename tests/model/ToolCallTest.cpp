#include "model/ToolCall.h"

#include <QMetaProperty>
#include <gtest/gtest.h>
#include <string>

namespace {

ToolCall searchCall()
{
    return ToolCall{
        .id = "toolu_01",
        .name = "web_search",
        .input = {{"query", "weather in Oslo"},
                  {"limit", 5},
                  {"filters", AnyCodable::List{"news"}}},
        .result = "Sunny",
        .isExecuting = false,
    };
}

ToolCall decodeText(const std::string &text)
{
    return nlohmann::ordered_json::parse(text).get<ToolCall>();
}

QVariant readProperty(const ToolCall &toolCall, const char *name)
{
    const auto &meta = ToolCall::staticMetaObject;
    return meta.property(meta.indexOfProperty(name)).readOnGadget(&toolCall);
}

} // namespace

TEST(ToolCall, EncodesKeysInTableOrder)
{
    EXPECT_EQ(nlohmann::ordered_json(searchCall()).dump(),
              R"({"id":"toolu_01","name":"web_search","input":{"query":"weather in Oslo",)"
              R"("limit":5,"filters":["news"]},"result":"Sunny","isExecuting":false})");
}

TEST(ToolCall, WithoutResultEncodesNoResultKey)
{
    const ToolCall running{.id = "t", .name = "n", .input = {}, .result = {}, .isExecuting = true};
    EXPECT_EQ(nlohmann::ordered_json(running).dump(),
              R"({"id":"t","name":"n","input":{},"isExecuting":true})");
}

TEST(ToolCall, MissingOrNullResultDecodesAsAbsent)
{
    EXPECT_FALSE(decodeText(R"({"id":"t","name":"n","input":{},"isExecuting":true})").result);
    EXPECT_FALSE(
        decodeText(R"({"id":"t","name":"n","input":{},"result":null,"isExecuting":true})").result);
    EXPECT_EQ(
        decodeText(R"({"id":"t","name":"n","input":{},"result":"","isExecuting":false})").result,
        QString(""));
}

TEST(ToolCall, EveryKeyButResultIsRequired)
{
    const char *incomplete[] = {
        R"({"name":"n","input":{},"isExecuting":true})",
        R"({"id":"t","input":{},"isExecuting":true})",
        R"({"id":"t","name":"n","isExecuting":true})",
        R"({"id":"t","name":"n","input":{}})",
    };
    for (const auto *text : incomplete)
        EXPECT_THROW(decodeText(text), nlohmann::ordered_json::out_of_range) << text;
}

TEST(ToolCall, WrongTypesFail)
{
    const char *mistyped[] = {
        R"({"id":1,"name":"n","input":{},"isExecuting":true})",
        R"({"id":"t","name":"n","input":[],"isExecuting":true})",
        R"({"id":"t","name":"n","input":"q","isExecuting":true})",
        R"({"id":"t","name":"n","input":{},"result":7,"isExecuting":true})",
        R"({"id":"t","name":"n","input":{},"isExecuting":1})",
        R"(["t","n",{},true])",
    };
    for (const auto *text : mistyped)
        EXPECT_THROW(decodeText(text), nlohmann::ordered_json::type_error) << text;
}

TEST(ToolCall, UnknownKeysAreIgnored)
{
    const auto decoded = decodeText(
        R"({"extra":[1],"id":"t","name":"n","input":{"a":1},"isExecuting":false,"z":null})");
    EXPECT_EQ(
        decoded,
        (ToolCall{
            .id = "t", .name = "n", .input = {{"a", 1}}, .result = {}, .isExecuting = false}));
}

TEST(ToolCall, InputKeepsTheKeyOrderOfTheWire)
{
    const auto decoded =
        decodeText(R"({"id":"t","name":"n","input":{"z":1,"a":2,"m":3},"isExecuting":true})");
    std::string keys;
    for (const auto &[key, value] : decoded.input)
        keys += key;
    EXPECT_EQ(keys, "zam");
}

TEST(ToolCall, RoundTripsThroughJSON)
{
    const auto original = searchCall();
    EXPECT_EQ(nlohmann::ordered_json(original).get<ToolCall>(), original);

    auto running = original;
    running.result.reset();
    running.isExecuting = true;
    EXPECT_EQ(nlohmann::ordered_json(running).get<ToolCall>(), running);
}

TEST(ToolCall, EqualsItselfEvenWithListsAndObjectsInItsInput)
{
    auto call = searchCall();
    call.input.emplace("nested", AnyCodable::Object{{"deep", AnyCodable::List{1, nullptr}}});
    EXPECT_EQ(call, call);
    EXPECT_EQ(call, ToolCall(call));
}

TEST(ToolCall, InputKeyOrderDoesNotMatterForEquality)
{
    auto reordered = searchCall();
    reordered.input = {
        {"filters", AnyCodable::List{"news"}}, {"limit", 5}, {"query", "weather in Oslo"}};
    EXPECT_EQ(reordered, searchCall());
}

TEST(ToolCall, AnyDifferingFieldMakesCallsUnequal)
{
    const auto base = searchCall();
    auto otherId = base;
    otherId.id = "toolu_02";
    auto otherName = base;
    otherName.name = "web_fetch";
    auto doubleLimit = base;
    doubleLimit.input["limit"] = 5.0;
    auto extraKey = base;
    extraKey.input.emplace("page", 2);
    auto noResult = base;
    noResult.result.reset();
    auto emptyResult = base;
    emptyResult.result = QString("");
    auto executing = base;
    executing.isExecuting = true;

    for (const auto &other :
         {otherId, otherName, doubleLimit, extraKey, noResult, emptyResult, executing})
        EXPECT_NE(base, other);
    EXPECT_NE(noResult, emptyResult);
}

TEST(ToolCall, QmlReadsFieldsAndAnAbsentResultAsUndefined)
{
    auto call = searchCall();
    EXPECT_EQ(readProperty(call, "id").toString(), "toolu_01");
    EXPECT_EQ(readProperty(call, "name").toString(), "web_search");
    EXPECT_EQ(readProperty(call, "result").toString(), "Sunny");
    EXPECT_EQ(readProperty(call, "isExecuting").toBool(), false);

    call.result.reset();
    EXPECT_FALSE(readProperty(call, "result").isValid());
    call.result = QString("");
    EXPECT_TRUE(readProperty(call, "result").isValid());
}
