#pragma once

#include "tools/ToolRequest.h"

#include <nlohmann/json.hpp>
#include <string>

// What a tool run produced: a line or two for people, the same facts as JSON for programs, and
// whether the tool failed at its task (arguments it accepted, a todo that does not exist).
struct ToolOutcome
{
    ToolRequest request;
    std::string text;
    nlohmann::ordered_json structured;
    bool isError = false;
};
