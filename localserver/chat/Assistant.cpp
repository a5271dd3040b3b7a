#include "chat/Assistant.h"

#include "support/Text.h"
#include "tools/CalorieEstimator.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>

namespace {

using Json = nlohmann::ordered_json;

enum class Intent
{
    logMeal,
    listMeals,
    calorieTotals,
    addTodo,
    listTodos,
    completeTodo,
    greeting,
    help,
    showcase,
};

bool contains(const std::string &text, std::string_view part)
{
    return text.find(part) != std::string::npos;
}

bool containsAny(const std::string &text, std::initializer_list<std::string_view> parts)
{
    return std::ranges::any_of(parts, [&](std::string_view part) { return contains(text, part); });
}

bool mentionsTodos(const std::string &text)
{
    return containsAny(text, {"todo", "to-do", "to do list", "task"});
}

Intent classify(const std::string &text)
{
    if (text.starts_with("remind me to ") ||
        (mentionsTodos(text) && containsAny(text, {"add", "new", "create", "put"})))
        return Intent::addTodo;
    if (containsAny(text,
                    {"complete", "mark ", "done with", "finished", "check off", "tick off"}) &&
        !contains(text, "calorie"))
        return Intent::completeTodo;
    if (mentionsTodos(text))
        return Intent::listTodos;
    if (text.starts_with("log ") || text.starts_with("track ") ||
        containsAny(text, {"log my", "i ate", "i had", "i've had", "i have had", "i just ate",
                           "i just had", "i'm eating", "i am eating"}))
        return Intent::logMeal;
    if (containsAny(text, {"calorie", "kcal"}))
        return Intent::calorieTotals;
    if (containsAny(
            text, {"did i eat", "have i eaten", "what i ate", "meals", "food diary", "did i have"}))
        return Intent::listMeals;
    if (containsAny(text, {"help", "what can you do"}))
        return Intent::help;
    static constexpr std::array<std::string_view, 6> greetings{
        "hi", "hello", "hey", "good morning", "good evening", "good afternoon"};
    const auto words = std::string(Text::trim(text));
    for (const auto greeting : greetings)
        if (words.starts_with(greeting) &&
            (words.size() == greeting.size() ||
             !std::isalpha(static_cast<unsigned char>(words[greeting.size()]))))
            return Intent::greeting;
    return Intent::showcase;
}

// The original text after the first of the markers (found in its lower-case twin), trimmed.
std::optional<std::string> textAfter(const std::string &original, const std::string &lowered,
                                     std::initializer_list<std::string_view> markers)
{
    for (const auto marker : markers) {
        const auto found = lowered.find(marker);
        if (found == std::string::npos)
            continue;
        const auto rest = Text::trim(std::string_view(original).substr(found + marker.size()));
        if (!rest.empty())
            return std::string(rest);
    }
    return std::nullopt;
}

std::string trimPunctuation(std::string_view text)
{
    text = Text::trim(text);
    while (!text.empty() && (text.back() == '.' || text.back() == '!' || text.back() == ',' ||
                             text.back() == '-' || text.back() == '('))
        text = Text::trim(text.substr(0, text.size() - 1));
    return std::string(text);
}

std::string mealTypeFor(const std::string &lowered, int hour)
{
    for (const auto *type : {"breakfast", "lunch", "dinner", "snack"})
        if (contains(lowered, type))
            return type;
    if (hour < 11)
        return "breakfast";
    if (hour < 16)
        return "lunch";
    if (hour < 22)
        return "dinner";
    return "snack";
}

std::string typicalMeal(const std::string &mealType)
{
    if (mealType == "breakfast")
        return "Oatmeal with blueberries and a coffee";
    if (mealType == "lunch")
        return "Chicken salad sandwich";
    if (mealType == "dinner")
        return "Salmon with rice and greens";
    return "An apple";
}

ToolRequest mealRequest(const AssistantContext &context, const std::string &lowered)
{
    const auto mealType = mealTypeFor(lowered, context.hour);
    auto description = textAfter(context.userText, lowered,
                                 {":", "i just ate ", "i just had ", "i've had ", "i have had ",
                                  "i ate ", "i had ", "i'm eating ", "i am eating "})
                           .value_or(std::string());
    // "I had eggs for breakfast": the meal's name is not part of what was eaten.
    const auto loweredDescription = Text::lower(description);
    for (const auto *suffix : {" for breakfast", " for lunch", " for dinner", " as a snack",
                               " for a snack", " for snack"})
        if (const auto at = loweredDescription.find(suffix); at != std::string::npos)
            description = description.substr(0, at) +
                          description.substr(at + std::string_view(suffix).size());
    const auto calories = CalorieEstimator::stated(description);
    if (calories) {
        const auto digits = description.find(std::to_string(*calories));
        description = description.substr(0, digits);
    }
    description = trimPunctuation(description);
    if (description.empty())
        description = typicalMeal(mealType);
    Json arguments{{"meal_type", mealType}, {"description", description}};
    if (calories)
        arguments["calories"] = *calories;
    return ToolRequest{"log_meal", std::move(arguments)};
}

std::optional<std::string> todoTitle(const AssistantContext &context, const std::string &lowered)
{
    if (const auto colon = textAfter(context.userText, lowered, {":"}))
        return trimPunctuation(*colon);
    if (const auto reminder = textAfter(context.userText, lowered, {"remind me to "}))
        return trimPunctuation(*reminder);
    const auto add = lowered.find("add ");
    const auto toList = lowered.find(" to my");
    if (add != std::string::npos && toList != std::string::npos && toList > add + 4)
        return trimPunctuation(context.userText.substr(add + 4, toList - add - 4));
    if (const auto after = textAfter(context.userText, lowered,
                                     {"add a todo ", "add todo ", "new todo ", "add a task ",
                                      "add task ", "create a todo "}))
        return trimPunctuation(*after);
    return std::nullopt;
}

// A table cell holds one line and no column separator.
std::string cell(std::string text)
{
    std::ranges::replace(text, '|', '/');
    std::ranges::replace(text, '\n', ' ');
    return text;
}

std::string capitalized(std::string text)
{
    if (!text.empty())
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return text;
}

std::string quoteForReply(const std::string &text)
{
    auto line = std::string(Text::truncate(Text::trim(text), 80));
    std::ranges::replace(line, '\n', ' ');
    std::erase_if(line, [](char c) { return c == '*' || c == '_' || c == '`'; });
    return line;
}

std::string mealCount(const Json &count)
{
    return count.dump() + (count == 1 ? " meal" : " meals");
}

std::string examples()
{
    return "- *Log my breakfast*\n"
           "- *What did I eat today?*\n"
           "- *Add a todo: buy groceries*\n"
           "- *How many calories this week?*\n";
}

std::string greetingReply(const AssistantContext &context)
{
    const auto name = context.firstName.empty() ? std::string() : " " + context.firstName;
    return "Hi" + name + "! I'm " + context.aiName +
           ". I keep your **food diary** and your **todo list**. Try one of these:\n\n" +
           examples();
}

std::string helpReply(const AssistantContext &context)
{
    return "Here is what I, " + context.aiName + ", can do for you:\n\n" + examples() +
           "\nEverything is stored on this computer.";
}

std::string showcaseReply(const AssistantContext &context)
{
    std::string reply;
    if (context.imageCount > 0)
        reply += "Thanks for the picture! I can't look at images here, but I can still help.\n\n";
    const auto quoted = quoteForReply(context.userText);
    if (!quoted.empty())
        reply += "You said *" + quoted + "*. ";
    reply += "I'm a **local** assistant, so here is a tour of what I can do:\n\n"
             "1. Keep a food diary and total your calories\n"
             "2. Keep a todo list\n"
             "3. Show answers as *Markdown*, like this one\n\n"
             "| You say | I use |\n"
             "|---|---|\n"
             "| Log my breakfast | `log_meal` |\n"
             "| What did I eat today? | `list_meals` |\n"
             "| Add a todo: buy groceries | `add_todo` |\n"
             "| How many calories this week? | `get_calorie_totals` |\n\n"
             "A tool call looks like this:\n\n"
             "```json\n"
             "{\"name\": \"log_meal\", \"arguments\": {\"meal_type\": \"breakfast\"}}\n"
             "```\n\n"
             "The tools speak the [Model Context Protocol](https://modelcontextprotocol.io).";
    return reply;
}

std::string mealLoggedReply(const ToolOutcome &outcome)
{
    const auto &meal = outcome.structured["meal"];
    return "Done! I logged your **" + meal["meal_type"].get<std::string>() +
           "**: " + meal["description"].get<std::string>() + " (*" + meal["calories"].dump() +
           " kcal*).\n\nThat makes **" + outcome.structured["day_total_calories"].dump() +
           " kcal** today.";
}

std::string mealsReply(const ToolOutcome &outcome, const AssistantContext &context)
{
    const auto &meals = outcome.structured["meals"];
    const auto day = outcome.structured["date"].get<std::string>();
    const auto when = day == context.today ? std::string("today")
                                           : (day == context.yesterday ? "yesterday" : "on " + day);
    if (meals.empty())
        return "You haven't logged anything " + when + " yet. Try *Log my breakfast*.";
    std::string reply =
        "Here's what you ate " + when + ":\n\n| Meal | What | kcal |\n|---|---|---:|\n";
    for (const auto &meal : meals)
        reply += "| " + capitalized(meal["meal_type"].get<std::string>()) + " | " +
                 cell(meal["description"].get<std::string>()) + " | " + meal["calories"].dump() +
                 " |\n";
    return reply + "\n**Total: " + outcome.structured["total_calories"].dump() + " kcal**";
}

std::string totalsReply(const ToolOutcome &outcome)
{
    const auto &totals = outcome.structured;
    if (totals["period"] == "today")
        return "Today you've had **" + totals["total_calories"].dump() + " kcal** from " +
               mealCount(totals["meal_count"]) + ".";
    std::string reply = "Over the last 7 days you logged **" + totals["total_calories"].dump() +
                        " kcal** in " + mealCount(totals["meal_count"]) + ", about **" +
                        totals["daily_average"].dump() +
                        " kcal a day**.\n\n| Day | Meals | kcal |\n|---|---:|---:|\n";
    for (const auto &day : totals["days"])
        reply += "| " + day["date"].get<std::string>() + " | " + day["meals"].dump() + " | " +
                 day["calories"].dump() + " |\n";
    return reply;
}

std::string todosReply(const ToolOutcome &outcome)
{
    const auto &todos = outcome.structured["todos"];
    if (todos.empty())
        return "Your todo list is empty. Try *Add a todo: buy groceries*.";
    std::string reply = "Your open todos:\n\n";
    for (const auto &todo : todos)
        reply += "- " + todo["title"].get<std::string>() + " (#" + todo["id"].dump() + ")\n";
    return reply;
}

// The open todo the user means: by its number, else by its title appearing in the request.
std::optional<std::int64_t> matchTodo(const Json &todos, const std::string &lowered)
{
    for (const auto &todo : todos) {
        const auto id = todo["id"].dump();
        if (contains(lowered, "#" + id) || contains(lowered, " " + id + " ") ||
            lowered.ends_with(" " + id))
            return todo["id"].get<std::int64_t>();
    }
    for (const auto &todo : todos)
        if (contains(lowered, Text::lower(todo["title"].get<std::string>())))
            return todo["id"].get<std::int64_t>();
    return std::nullopt;
}

AssistantStep completeTodoStep(const AssistantContext &context, const std::string &lowered)
{
    if (context.outcomes.empty())
        return {{ToolRequest{"list_todos", Json::object()}}, {}};
    const auto &last = context.outcomes.back();
    if (last.request.name == "complete_todo")
        return {{},
                last.isError
                    ? "I couldn't find that todo."
                    : "Nice work! **" + last.structured["todo"]["title"].get<std::string>() +
                          "** is done."};
    const auto id = matchTodo(last.structured["todos"], lowered);
    if (!id)
        return {{}, "I couldn't tell which todo you mean. " + todosReply(last)};
    return {{ToolRequest{"complete_todo", Json{{"id", *id}}}}, {}};
}

AssistantStep toolStep(Intent intent, const AssistantContext &context, const std::string &lowered)
{
    if (intent == Intent::completeTodo)
        return completeTodoStep(context, lowered);
    if (!context.outcomes.empty()) {
        const auto &outcome = context.outcomes.back();
        if (outcome.isError)
            return {{}, "That didn't work: " + outcome.text};
        switch (intent) {
        case Intent::logMeal:
            return {{}, mealLoggedReply(outcome)};
        case Intent::listMeals:
            return {{}, mealsReply(outcome, context)};
        case Intent::calorieTotals:
            return {{}, totalsReply(outcome)};
        case Intent::addTodo:
            return {{},
                    "Added to your list: **" +
                        outcome.structured["todo"]["title"].get<std::string>() + "** (#" +
                        outcome.structured["todo"]["id"].dump() + ")."};
        default:
            return {{}, todosReply(outcome)};
        }
    }
    switch (intent) {
    case Intent::logMeal:
        return {{mealRequest(context, lowered)}, {}};
    case Intent::listMeals:
        return {{ToolRequest{"list_meals",
                             Json{{"date", contains(lowered, "yesterday") ? context.yesterday
                                                                          : context.today}}}},
                {}};
    case Intent::calorieTotals:
        return {{ToolRequest{"get_calorie_totals",
                             Json{{"period", contains(lowered, "today") ? "today" : "week"}}}},
                {}};
    case Intent::addTodo: {
        const auto title = todoTitle(context, lowered);
        if (!title || title->empty())
            return {{}, "What should the todo say? For example: *Add a todo: buy groceries*."};
        return {{ToolRequest{"add_todo", Json{{"title", *title}}}}, {}};
    }
    default:
        return {{ToolRequest{"list_todos", Json::object()}}, {}};
    }
}

} // namespace

namespace Assistant {

AssistantStep next(const AssistantContext &context)
{
    const auto lowered = Text::lower(context.userText);
    const auto intent = classify(lowered);
    switch (intent) {
    case Intent::greeting:
        return {{}, greetingReply(context)};
    case Intent::help:
        return {{}, helpReply(context)};
    case Intent::showcase:
        return {{}, showcaseReply(context)};
    default:
        if (!context.signedIn)
            return {{}, "Please sign in first, so that I can keep your food diary and todo list."};
        return toolStep(intent, context, lowered);
    }
}

} // namespace Assistant
