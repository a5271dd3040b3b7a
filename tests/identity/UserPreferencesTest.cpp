#include "identity/UserPreferences.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

UserPreferences preferences(const char *json)
{
    return nlohmann::ordered_json::parse(json).get<UserPreferences>();
}

} // namespace

TEST(UserPreferences, KnownDetailsRenderInTheirFixedOrder)
{
    EXPECT_EQ(preferences(R"({"location":{"residence":"Oslo"},)"
                          R"("personal":{"birth_date":"1990-01-01","name":"Ann"}})")
                  .toContextString(),
              "Name: Ann\nBirth date: 1990-01-01\nLocation: Oslo\n");
    EXPECT_EQ(preferences(R"({"family":{"child_name":"Bo","spouse_name":"Cy"},)"
                          R"("personal":{"name":5,"birthplace":"Rome"},"location":"Oslo"})")
                  .toContextString(),
              "Birthplace: Rome\nSpouse: Cy\nChild: Bo\n");
}

TEST(UserPreferences, OtherMembersRenderWithTitledKeys)
{
    EXPECT_EQ(preferences(R"({"diet_type":"vegan"})").toContextString(), "Diet Type: vegan\n");
    EXPECT_EQ(preferences(R"({"work":{"job_title":"nurse"}})").toContextString(),
              "\nWork:\n  Job Title: nurse\n");
    EXPECT_EQ(preferences(R"({"goals":{"run_MARATHON":true},"preferences":{"tea_cups":2,"x":1.5},)"
                          R"("available_skills":[],"tags":["a",null],"none":null})")
                  .toContextString(),
              "Run Marathon: true\nTea Cups: 2\nX: 1.5\nTags: [\"a\",null]\nNone: null\n");
    EXPECT_EQ(preferences("{}").toContextString(), "");
}

TEST(UserPreferences, SkillsRenderOnlyWithNameAndType)
{
    const auto skills =
        preferences(R"({"available_skills":[)"
                    R"({"name":"Search","type":"tool","description":"Finds pages"},)"
                    R"({"name":"Mail","type":"app"},{"name":"Broken"}]})");
    EXPECT_EQ(skills.skillsContextString(),
              "\n## AVAILABLE SKILLS:\n- Search (tool): Finds pages\n- Mail (app)\n");
    const auto list = skills.availableSkills();
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 3);
    EXPECT_EQ(list->at(0).value("description"), "Finds pages");
    EXPECT_EQ(list->at(2), (UserPreferences::Skill{{"name", "Broken"}}));
}
