#include "identity/ProfileDefaults.h"

#include "storage/Database.h"
#include "tools/ToolBox.h"

namespace {

using Json = nlohmann::ordered_json;

std::string plural(std::size_t count, const char *one, const char *many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

} // namespace

namespace ProfileDefaults {

Json preferences(const std::string &fullName)
{
    return {{"personal", {{"name", fullName}}},
            {"location", Json::object()},
            {"goals", {{"daily_calories", 2000}, {"habit", "Log every meal"}}},
            {"preferences", {{"units", "metric"}, {"response_style", "concise"}}}};
}

Json preferencesWithSkills(const Profile &profile)
{
    auto stored = Json::parse(profile.preferences, nullptr, false);
    if (!stored.is_object())
        stored = preferences(profile.firstName);
    Json skills = Json::array();
    for (const auto &tool : ToolBox::definitions())
        skills.push_back(
            {{"name", tool["name"]}, {"type", "mcp_tool"}, {"description", tool["description"]}});
    stored["available_skills"] = std::move(skills);
    return stored;
}

Json recentMemories(const Profile &profile, Database &database, const std::string &today)
{
    const auto meals = database.meals(profile.id, today);
    int calories = 0;
    for (const auto &meal : meals)
        calories += meal.calories;
    const auto todos = database.todos(profile.id, false);
    return {{"current_state", "Today: " + plural(meals.size(), "meal", "meals") + " logged (" +
                                  std::to_string(calories) + " kcal), " +
                                  plural(todos.size(), "open todo", "open todos") + "."},
            {"key_learnings", "Prefers short answers with numbers in tables."},
            {"purpose_and_context",
             "Uses " + std::string(aiName) + " to keep a food diary and a todo list."},
            {"tools_and_resources", "Food diary, todo list and calorie totals on this computer."},
            {"approach_and_patterns", "Logs meals as they happen and reviews the week's totals."}};
}

std::string prompt(const std::string &type, const Profile *profile)
{
    const auto user = profile ? " You are talking with " + profile->firstName + "." : std::string();
    if (type == "voice")
        return std::string("You are ") + aiName + ", a personal AI voice assistant." + user +
               "\n\n## VOICE CALL BEHAVIOR:\n- Speak in SHORT, NATURAL sentences (5-10 words "
               "max)\n- Keep talking during tool calls to prevent dead air\n- Be conversational "
               "and warm\n\nKeep tone positive and supportive.";
    std::string tools;
    for (const auto &tool : ToolBox::definitions())
        tools += "\n- " + tool["name"].get<std::string>() + ": " +
                 tool["description"].get<std::string>();
    return std::string("# ") + aiName + " Assistant\n\nYou are " + aiName +
           ", a personal AI assistant that helps users track and organize their life data." + user +
           "\n\nYour tools:" + tools +
           "\n\nWhen responding:\n- Be conversational and helpful\n- Keep responses concise\n"
           "- Be warm and supportive\n\nKeep responses under 1600 characters.";
}

} // namespace ProfileDefaults
