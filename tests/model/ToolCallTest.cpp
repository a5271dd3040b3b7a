#include "model/ToolCall.h"

#include <QMetaProperty>
#include <gtest/gtest.h>

namespace {

const ToolCall search{.id = "toolu_01",
                      .name = "web_search",
                      .input = {{"query", "weather in Oslo"}, {"limit", 5}},
                      .result = {},
                      .isExecuting = true};

TEST(ToolCall, RoundTripsAndRefusesMissingKeysOrWrongTypes)
{
    EXPECT_EQ(nlohmann::ordered_json(search).dump(),
              R"({"id":"toolu_01","name":"web_search","input":{"query":"weather in Oslo",)"
              R"("limit":5},"isExecuting":true})");
    EXPECT_EQ(nlohmann::ordered_json::parse(R"({"id":"toolu_01","name":"web_search","result":null,)"
                                            R"("input":{"limit":5,"query":"weather in Oslo"},)"
                                            R"("isExecuting":true})")
                  .get<ToolCall>(),
              search);
    for (const auto *text :
         {R"({"name":"n","input":{},"isExecuting":true})", R"({"id":"t","name":"n","input":{}})",
          R"({"id":"t","name":"n","input":[],"isExecuting":true})",
          R"({"id":"t","name":"n","input":{},"result":7,"isExecuting":true})",
          R"(["t","n",{},true])"})
        EXPECT_THROW(nlohmann::ordered_json::parse(text).get<ToolCall>(),
                     nlohmann::ordered_json::exception)
            << text;
}

TEST(ToolCall, EqualityAndQmlTellAnAbsentResultFromAnEmptyOne)
{
    auto doubleLimit = search;
    doubleLimit.input["limit"] = 5.0;
    auto empty = search;
    empty.result = QString("");
    EXPECT_NE(search, doubleLimit);
    EXPECT_NE(search, empty);
    EXPECT_EQ(nlohmann::ordered_json(empty).get<ToolCall>(), empty);
    const auto result =
        ToolCall::staticMetaObject.property(ToolCall::staticMetaObject.indexOfProperty("result"));
    EXPECT_FALSE(result.readOnGadget(&search).isValid());
    EXPECT_TRUE(result.readOnGadget(&empty).isValid());
}

} // namespace
