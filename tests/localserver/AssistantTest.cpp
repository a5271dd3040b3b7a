#include "Assistant.h"

#include <gtest/gtest.h>

namespace {

using Json = nlohmann::ordered_json;

AssistantContext context(const std::string &text, int hour = 12)
{
    AssistantContext context;
    context.userText = text;
    context.signedIn = true;
    context.firstName = "Ann";
    context.today = "2024-05-10";
    context.yesterday = "2024-05-09";
    context.hour = hour;
    return context;
}

TEST(Assistant, RequestsBecomeToolCalls)
{
    struct Case
    {
        const char *text;
        const char *tool;
        Json arguments;
    };
    const std::vector<Case> cases{
        {"Log my breakfast",
         "log_meal",
         {{"meal_type", "breakfast"}, {"description", "Oatmeal with blueberries and a coffee"}}},
        {"Log my lunch: chicken salad, 450 kcal",
         "log_meal",
         {{"meal_type", "lunch"}, {"description", "chicken salad"}, {"calories", 450}}},
        {"I had two eggs and toast for breakfast",
         "log_meal",
         {{"meal_type", "breakfast"}, {"description", "two eggs and toast"}}},
        {"I just ate a banana", "log_meal", {{"meal_type", "lunch"}, {"description", "a banana"}}},
        {"What did I eat today?", "list_meals", {{"date", "2024-05-10"}}},
        {"What did I eat yesterday?", "list_meals", {{"date", "2024-05-09"}}},
        {"How many calories this week?", "get_calorie_totals", {{"period", "week"}}},
        {"Calories today?", "get_calorie_totals", {{"period", "today"}}},
        {"Add a todo: buy groceries", "add_todo", {{"title", "buy groceries"}}},
        {"Remind me to call the dentist.", "add_todo", {{"title", "call the dentist"}}},
        {"Please add milk to my todo list", "add_todo", {{"title", "milk"}}},
        {"Show my todos", "list_todos", Json::object()},
        {"Mark call mum as done", "list_todos", Json::object()},
    };
    for (const auto &testCase : cases) {
        const auto step = Assistant::next(context(testCase.text));
        ASSERT_EQ(step.tools.size(), 1U) << testCase.text;
        EXPECT_EQ(step.tools[0].name, testCase.tool) << testCase.text;
        EXPECT_EQ(step.tools[0].arguments, testCase.arguments) << testCase.text;
    }
}

TEST(Assistant, MealWithoutNameFollowsTheHour)
{
    for (const auto &[hour, meal] : std::vector<std::pair<int, std::string>>{
             {7, "breakfast"}, {13, "lunch"}, {19, "dinner"}, {23, "snack"}})
        EXPECT_EQ(Assistant::next(context("I ate soup", hour)).tools[0].arguments["meal_type"],
                  meal);
}

TEST(Assistant, AnswersAreBuiltFromToolResults)
{
    auto logged = context("Log my breakfast");
    logged.outcomes.push_back(
        {{"log_meal", {}},
         "",
         {{"meal", {{"meal_type", "breakfast"}, {"description", "Toast"}, {"calories", 80}}},
          {"day_total_calories", 480}},
         false});
    auto listed = context("What did I eat today?");
    listed.outcomes.push_back(
        {{"list_meals", {}},
         "",
         {{"date", "2024-05-10"},
          {"meals", {{{"meal_type", "lunch"}, {"description", "A | B"}, {"calories", 5}}}},
          {"total_calories", 5}},
         false});
    auto failed = context("Add a todo: x");
    failed.outcomes.push_back({{"add_todo", {}}, "Storage is full.", nullptr, true});

    const auto loggedStep = Assistant::next(logged);
    EXPECT_TRUE(loggedStep.tools.empty());
    EXPECT_NE(loggedStep.text.find("**breakfast**: Toast (*80 kcal*)"), std::string::npos);
    EXPECT_NE(loggedStep.text.find("**480 kcal** today"), std::string::npos);
    EXPECT_NE(Assistant::next(listed).text.find("| Lunch | A / B | 5 |"), std::string::npos);
    EXPECT_EQ(Assistant::next(failed).text, "That didn't work: Storage is full.");
}

TEST(Assistant, CompletingATodoFindsItByTitleOrNumber)
{
    auto byTitle = context("Mark Call Mum as done");
    byTitle.outcomes.push_back(
        {{"list_todos", {}},
         "",
         {{"todos", {{{"id", 4}, {"title", "buy milk"}}, {{"id", 9}, {"title", "call mum"}}}}},
         false});
    auto byNumber = byTitle;
    byNumber.userText = "complete #4";
    auto unknown = byTitle;
    unknown.userText = "complete the taxes";

    EXPECT_EQ(Assistant::next(byTitle).tools[0].arguments, Json({{"id", 9}}));
    EXPECT_EQ(Assistant::next(byNumber).tools[0].arguments, Json({{"id", 4}}));
    EXPECT_TRUE(Assistant::next(unknown).tools.empty());
    EXPECT_NE(Assistant::next(unknown).text.find("call mum (#9)"), std::string::npos);
}

TEST(Assistant, ConversationWithoutToolsOrUser)
{
    auto signedOut = context("Log my breakfast");
    signedOut.signedIn = false;
    const auto greeting = Assistant::next(context("Hello!"));
    const auto emptyTodo = Assistant::next(context("Add a todo"));

    EXPECT_TRUE(Assistant::next(signedOut).tools.empty());
    EXPECT_NE(Assistant::next(signedOut).text.find("sign in"), std::string::npos);
    EXPECT_TRUE(greeting.text.starts_with("Hi Ann! I'm Vessa."));
    EXPECT_TRUE(emptyTodo.tools.empty());
    EXPECT_NE(emptyTodo.text.find("What should the todo say?"), std::string::npos);
    EXPECT_TRUE(Assistant::next(context("history of rome")).text.starts_with("You said *history"));
}

} // namespace
