#pragma once

#include "support/Clock.h"
#include "tools/ToolOutcome.h"
#include "tools/ToolRequest.h"

#include <nlohmann/json.hpp>
#include <string>

class Database;

// The tools of the server: a food diary, a todo list and calorie totals, each with a name, a
// description and a JSON Schema for its arguments. MCP clients list and call them; the chat
// assistant calls the same tools. Each user sees only their own meals and todos.
class ToolBox
{
public:
    ToolBox(Database &database, Clock clock);

    // The tools as MCP lists them: objects with "name", "description" and "inputSchema".
    static const nlohmann::ordered_json &definitions();

    // Runs one tool for the user. Throws InvalidToolCall for an unknown tool or arguments that
    // do not fit its schema, and DatabaseError when storage fails.
    ToolOutcome call(const std::string &userId, const ToolRequest &request);
    // Runs one tool as an assistant asks for it: a call the tools refuse comes back as a failed
    // outcome that says why, so that the assistant can correct itself.
    ToolOutcome run(const std::string &userId, const ToolRequest &request);

private:
    ToolOutcome logMeal(const std::string &userId, const nlohmann::ordered_json &arguments);
    ToolOutcome listMeals(const std::string &userId, const nlohmann::ordered_json &arguments);
    ToolOutcome calorieTotals(const std::string &userId, const nlohmann::ordered_json &arguments);
    ToolOutcome addTodo(const std::string &userId, const nlohmann::ordered_json &arguments);
    ToolOutcome listTodos(const std::string &userId, const nlohmann::ordered_json &arguments);
    ToolOutcome completeTodo(const std::string &userId, const nlohmann::ordered_json &arguments);

    Database &database;
    Clock clock;
};
