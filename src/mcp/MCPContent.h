#pragma once

#include <string>

// One block of a tool result as the client keeps it: its kind ("text", ...) and its text.
struct MCPContent
{
    std::string type;
    std::string text;

    friend bool operator==(const MCPContent &, const MCPContent &) = default;
};
