#pragma once

#include <string>

// The calories of one day and the number of meals they came from.
struct DayTotal
{
    std::string day;
    int meals = 0;
    int calories = 0;
};
