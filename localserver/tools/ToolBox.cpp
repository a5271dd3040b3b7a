#include "tools/ToolBox.h"

#include "http/JsonValue.h"
#include "storage/Database.h"
#include "support/Calendar.h"
#include "support/Text.h"
#include "tools/ArgumentCheck.h"
#include "tools/CalorieEstimator.h"
#include "tools/InvalidToolCall.h"

#include <utility>

namespace {

using Json = nlohmann::ordered_json;

Json objectSchema(Json properties, Json required)
{
    return {{"type", "object"},
            {"properties", std::move(properties)},
            {"required", std::move(required)},
            {"additionalProperties", false}};
}

Json tool(const char *name, const char *description, Json schema)
{
    return {{"name", name}, {"description", description}, {"inputSchema", std::move(schema)}};
}

Json makeDefinitions()
{
    const Json day{{"type", "string"},
                   {"pattern", "^[0-9]{4}-[0-9]{2}-[0-9]{2}$"},
                   {"description", "The day as YYYY-MM-DD; today when left out"}};
    return Json::array({
        tool("log_meal", "Log a meal in the user's food diary.",
             objectSchema({{"meal_type",
                            {{"type", "string"},
                             {"enum", {"breakfast", "lunch", "dinner", "snack"}},
                             {"description", "Which meal of the day"}}},
                           {"description",
                            {{"type", "string"},
                             {"minLength", 1},
                             {"maxLength", 500},
                             {"description", "What was eaten"}}},
                           {"calories",
                            {{"type", "integer"},
                             {"minimum", 0},
                             {"maximum", 10000},
                             {"description", "Energy in kcal; estimated when left out"}}}},
                          {"meal_type", "description"})),
        tool("list_meals", "List the meals the user logged on one day, with their calories.",
             objectSchema({{"date", day}}, Json::array())),
        tool(
            "get_calorie_totals",
            "Total the calories the user logged today or over the last seven days.",
            objectSchema({{"period",
                           {{"type", "string"},
                            {"enum", {"today", "week"}},
                            {"description", "today, or the last seven days; week when left out"}}}},
                         Json::array())),
        tool("add_todo", "Add an item to the user's todo list.",
             objectSchema({{"title",
                            {{"type", "string"},
                             {"minLength", 1},
                             {"maxLength", 200},
                             {"description", "What is to be done"}}}},
                          {"title"})),
        tool("list_todos", "List the user's todos; open ones only unless asked for all.",
             objectSchema({{"include_done",
                            {{"type", "boolean"},
                             {"description", "Also list completed todos; false when left out"}}}},
                          Json::array())),
        tool(
            "complete_todo", "Mark one of the user's todos as done.",
            objectSchema({{"id",
                           {{"type", "integer"},
                            {"minimum", 1},
                            {"description", "The todo's id, as add_todo and list_todos give it"}}}},
                         {"id"})),
    });
}

std::string plural(int count, const char *one, const char *many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

ToolOutcome outcome(const ToolRequest &request, std::string text, Json structured)
{
    return ToolOutcome{request, std::move(text), std::move(structured), false};
}

} // namespace

ToolBox::ToolBox(Database &database_, Clock clock_)
    : database(database_)
    , clock(std::move(clock_))
{}

const Json &ToolBox::definitions()
{
    static const Json definitions = makeDefinitions();
    return definitions;
}

ToolOutcome ToolBox::call(const std::string &userId, const ToolRequest &request)
{
    const auto &tools = definitions();
    const auto definition =
        std::ranges::find_if(tools, [&](const Json &tool) { return tool["name"] == request.name; });
    if (definition == tools.end())
        throw InvalidToolCall("Unknown tool: " + request.name);
    if (auto error = ArgumentCheck::findError((*definition)["inputSchema"], request.arguments))
        throw InvalidToolCall("Invalid arguments for " + request.name + ": " + *error);

    ToolOutcome result;
    if (request.name == "log_meal")
        result = logMeal(userId, request.arguments);
    else if (request.name == "list_meals")
        result = listMeals(userId, request.arguments);
    else if (request.name == "get_calorie_totals")
        result = calorieTotals(userId, request.arguments);
    else if (request.name == "add_todo")
        result = addTodo(userId, request.arguments);
    else if (request.name == "list_todos")
        result = listTodos(userId, request.arguments);
    else
        result = completeTodo(userId, request.arguments);
    result.request = request;
    return result;
}

ToolOutcome ToolBox::run(const std::string &userId, const ToolRequest &request)
{
    try {
        return call(userId, request);
    } catch (const InvalidToolCall &error) {
        return ToolOutcome{request, error.what(), nullptr, true};
    }
}

ToolOutcome ToolBox::logMeal(const std::string &userId, const Json &arguments)
{
    const auto now = clock();
    Meal meal;
    meal.mealType = arguments["meal_type"].get<std::string>();
    meal.description = std::string(Text::trim(arguments["description"].get<std::string>()));
    meal.calories = arguments.contains("calories")
                        ? arguments["calories"].get<int>()
                        : CalorieEstimator::estimate(meal.description, meal.mealType);
    meal.eatenAt = Calendar::timestamp(now);
    meal.day = Calendar::day(now);
    const auto stored = database.addMeal(userId, meal);
    int dayTotal = 0;
    for (const auto &logged : database.meals(userId, stored.day))
        dayTotal += logged.calories;
    return outcome({},
                   "Logged " + stored.mealType + ": " + stored.description + " (" +
                       std::to_string(stored.calories) +
                       " kcal). Today so far: " + std::to_string(dayTotal) + " kcal.",
                   {{"meal", stored.toJson()}, {"day_total_calories", dayTotal}});
}

ToolOutcome ToolBox::listMeals(const std::string &userId, const Json &arguments)
{
    const auto day = JsonValue::memberOr(arguments, "date", Calendar::day(clock()));
    if (!Calendar::isDay(day))
        throw InvalidToolCall("Invalid arguments for list_meals: date must be a day as YYYY-MM-DD");
    const auto meals = database.meals(userId, day);
    int total = 0;
    Json list = Json::array();
    std::string lines;
    for (const auto &meal : meals) {
        total += meal.calories;
        list.push_back(meal.toJson());
        lines += "\n- " + meal.mealType + ": " + meal.description + " (" +
                 std::to_string(meal.calories) + " kcal)";
    }
    auto text = meals.empty() ? "No meals logged on " + day + "."
                              : plural(static_cast<int>(meals.size()), "meal", "meals") + " on " +
                                    day + ", " + std::to_string(total) + " kcal:" + lines;
    return outcome({}, std::move(text),
                   {{"date", day}, {"meals", std::move(list)}, {"total_calories", total}});
}

ToolOutcome ToolBox::calorieTotals(const std::string &userId, const Json &arguments)
{
    const auto period = JsonValue::memberOr(arguments, "period", std::string("week"));
    const auto now = clock();
    const int dayCount = period == "today" ? 1 : 7;
    const auto first = Calendar::dayBefore(now, dayCount - 1);
    const auto last = Calendar::day(now);
    const auto logged = database.dayTotals(userId, first, last);

    Json days = Json::array();
    int total = 0;
    int mealCount = 0;
    for (int back = dayCount - 1; back >= 0; --back) {
        const auto day = Calendar::dayBefore(now, back);
        const auto found = std::ranges::find(logged, day, &DayTotal::day);
        const auto entry = found == logged.end() ? DayTotal{day, 0, 0} : *found;
        total += entry.calories;
        mealCount += entry.meals;
        days.push_back({{"date", day}, {"meals", entry.meals}, {"calories", entry.calories}});
    }
    const int average = (total + dayCount / 2) / dayCount;
    auto text = (period == "today" ? "Today" : "From " + first + " to " + last) + ": " +
                std::to_string(total) + " kcal from " + plural(mealCount, "meal", "meals") +
                (dayCount > 1 ? ", " + std::to_string(average) + " kcal a day on average." : ".");
    return outcome({}, std::move(text),
                   {{"period", period},
                    {"from", first},
                    {"to", last},
                    {"days", std::move(days)},
                    {"total_calories", total},
                    {"meal_count", mealCount},
                    {"daily_average", average}});
}

ToolOutcome ToolBox::addTodo(const std::string &userId, const Json &arguments)
{
    Todo todo;
    todo.title = std::string(Text::trim(arguments["title"].get<std::string>()));
    if (todo.title.empty())
        throw InvalidToolCall("Invalid arguments for add_todo: title must not be empty");
    todo.createdAt = Calendar::timestamp(clock());
    const auto stored = database.addTodo(userId, todo);
    return outcome({}, "Added todo #" + std::to_string(stored.id) + ": " + stored.title + ".",
                   {{"todo", stored.toJson()}});
}

ToolOutcome ToolBox::listTodos(const std::string &userId, const Json &arguments)
{
    const auto includeDone = JsonValue::memberOr(arguments, "include_done", false);
    const auto todos = database.todos(userId, includeDone);
    Json list = Json::array();
    std::string lines;
    for (const auto &todo : todos) {
        list.push_back(todo.toJson());
        lines +=
            "\n- #" + std::to_string(todo.id) + " " + todo.title + (todo.done ? " (done)" : "");
    }
    const auto count = static_cast<int>(todos.size());
    auto text = todos.empty() ? std::string(includeDone ? "No todos." : "No open todos.")
                              : (includeDone ? plural(count, "todo", "todos")
                                             : plural(count, "open todo", "open todos")) +
                                    ":" + lines;
    return outcome({}, std::move(text), {{"todos", std::move(list)}});
}

ToolOutcome ToolBox::completeTodo(const std::string &userId, const Json &arguments)
{
    const auto id = arguments["id"].get<std::int64_t>();
    const auto todo = database.completeTodo(userId, id, Calendar::timestamp(clock()));
    if (!todo)
        return ToolOutcome{{}, "No todo #" + std::to_string(id) + ".", nullptr, true};
    return outcome({}, "Completed todo #" + std::to_string(todo->id) + ": " + todo->title + ".",
                   {{"todo", todo->toJson()}});
}
