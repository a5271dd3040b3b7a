#pragma once

#include <stdexcept>
#include <string>

// A tool call the tools cannot even start: an unknown tool, or arguments outside its schema.
class InvalidToolCall : public std::invalid_argument
{
public:
    explicit InvalidToolCall(const std::string &message);
};
