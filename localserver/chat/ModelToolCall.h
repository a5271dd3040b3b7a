#pragma once

#include <string>

// A function call the model asked for, as its chunks assembled it: the arguments stay the text
// the model wrote until the call runs.
struct ModelToolCall
{
    std::string id;
    std::string name;
    std::string arguments;
};
