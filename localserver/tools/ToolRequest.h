#pragma once

#include <nlohmann/json.hpp>
#include <string>

// A tool to run with its arguments, as the assistant or an MCP client asks for it.
struct ToolRequest
{
    std::string name;
    nlohmann::ordered_json arguments = nlohmann::ordered_json::object();
};
