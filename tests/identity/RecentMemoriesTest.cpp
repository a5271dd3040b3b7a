#include "identity/RecentMemories.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

TEST(RecentMemories, AbsentAndNullPartsStayAbsentAndAreNotWritten)
{
    const auto memories =
        nlohmann::ordered_json::parse(R"({"current_state":"busy","key_learnings":null,"extra":1})")
            .get<RecentMemories>();
    EXPECT_EQ(memories, RecentMemories{.currentState = QStringLiteral("busy")});
    EXPECT_EQ(nlohmann::ordered_json(memories).dump(), R"({"current_state":"busy"})");

    const RecentMemories full{"s", "k", "p", "t", "a"};
    EXPECT_EQ(nlohmann::ordered_json(full).dump(),
              R"({"current_state":"s","key_learnings":"k","purpose_and_context":"p",)"
              R"("tools_and_resources":"t","approach_and_patterns":"a"})");
    EXPECT_EQ(nlohmann::ordered_json(full).get<RecentMemories>(), full);
}

TEST(RecentMemories, NonStringPartsAndNonObjectsFail)
{
    for (const char *json : {R"({"tools_and_resources":["x"]})", "[]", "\"text\""}) {
        EXPECT_THROW(nlohmann::ordered_json::parse(json).get<RecentMemories>(),
                     nlohmann::ordered_json::exception)
            << json;
    }
}
