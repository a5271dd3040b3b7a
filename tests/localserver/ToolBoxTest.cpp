#include "ToolBox.h"

#include "Database.h"
#include "InvalidToolCall.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using Json = nlohmann::ordered_json;

class ToolBoxTest : public ::testing::Test
{
protected:
    QTemporaryDir directory;
    std::chrono::system_clock::time_point now = std::chrono::system_clock::now();
    std::unique_ptr<Database> database = std::make_unique<Database>(directory.path().toStdString());
    ToolBox tools{*database, [this] { return now; }};

    ToolOutcome call(const std::string &name, const Json &arguments, const std::string &user = "u1")
    {
        return tools.call(user, ToolRequest{name, arguments});
    }
};

TEST_F(ToolBoxTest, MealsAreEstimatedWhenNotStated)
{
    const auto estimated =
        call("log_meal", {{"meal_type", "breakfast"}, {"description", "2 eggs, toast"}});
    const auto typical = call("log_meal", {{"meal_type", "dinner"}, {"description", "Something"}});
    const auto stated =
        call("log_meal", {{"meal_type", "snack"}, {"description", "Cake"}, {"calories", 0}});

    EXPECT_EQ(estimated.structured["meal"]["calories"], 78 + 80);
    EXPECT_EQ(typical.structured["meal"]["calories"], 650);
    EXPECT_EQ(stated.structured["meal"]["calories"], 0);
    EXPECT_EQ(stated.text, "Logged snack: Cake (0 kcal). Today so far: 808 kcal.");
}

TEST_F(ToolBoxTest, ArgumentsOutsideTheSchemaThrow)
{
    EXPECT_THROW(call("log_meal", {{"meal_type", "lunch"}}), InvalidToolCall);
    EXPECT_THROW(call("add_todo", Json::array()), InvalidToolCall);
    EXPECT_THROW(call("unknown", Json::object()), InvalidToolCall);
    try {
        call("log_meal", {{"meal_type", "tea"}, {"description", "x"}});
    } catch (const InvalidToolCall &error) {
        EXPECT_STREQ(error.what(), "Invalid arguments for log_meal: meal_type must be one of: "
                                   "breakfast, lunch, dinner, snack");
    }
}

TEST_F(ToolBoxTest, EverythingSurvivesReopeningTheDatabase)
{
    call("log_meal", {{"meal_type", "lunch"}, {"description", "Soup"}});
    call("add_todo", {{"title", "Read"}});
    Profile profile{"u1", "a@b", "Ann", std::nullopt, "Vessa", "{}", "t", "t"};
    database->saveProfile(profile);
    profile.firstName = "Anna";
    profile.preferences = "{\"changed\":true}";
    database->saveProfile(profile);
    database = std::make_unique<Database>(directory.path().toStdString());
    ToolBox reopened{*database, [this] { return now; }};

    EXPECT_EQ(reopened.call("u1", {"list_meals", Json::object()}).structured["total_calories"],
              150);
    EXPECT_EQ(reopened.call("u1", {"list_todos", Json::object()}).structured["todos"][0]["title"],
              "Read");
    EXPECT_EQ(reopened.call("u2", {"list_todos", Json::object()}).structured["todos"].size(), 0U);
    EXPECT_EQ(database->profile("u1")->firstName, "Anna");
    EXPECT_EQ(database->profile("u1")->preferences, "{}");
    EXPECT_FALSE(database->profile("u2"));
}

TEST_F(ToolBoxTest, HostileTextIsStoredAsText)
{
    const std::string title = "'); DROP TABLE todos; --";
    call("add_todo", {{"title", title}});

    EXPECT_EQ(call("list_todos", Json::object()).structured["todos"][0]["title"], title);
}

} // namespace
