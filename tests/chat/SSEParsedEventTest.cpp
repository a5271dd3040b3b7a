#include "chat/SSEParsedEvent.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>

namespace {

using Json = nlohmann::ordered_json;

Json nestedLists(int depth)
{
    Json value = Json::array();
    for (int level = 1; level < depth; ++level)
        value = Json::array({std::move(value)});
    return value;
}

} // namespace

TEST(SSEParsedEvent, CopiesAndMovesKeepTypeAndObject)
{
    const SSEParsedEvent original{"tool_use_start", Json::parse(R"({"tool_id":"t","input":{}})")};
    SSEParsedEvent copy = original;
    EXPECT_EQ(copy, original);
    const SSEParsedEvent moved = std::move(copy);
    EXPECT_EQ(moved, original);
    EXPECT_NE(moved, (SSEParsedEvent{std::nullopt, original.json}));
}

TEST(SSEParsedEvent, DeeplyNestedMemberIsReleasedWithoutRecursion)
{
    {
        const SSEParsedEvent event{std::nullopt, Json{{"deep", nestedLists(1'000'000)}}};
        EXPECT_EQ(event.json.size(), 1U);
    }
}
