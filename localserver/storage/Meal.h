#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

// One entry of a user's food diary.
struct Meal
{
    std::int64_t id = 0;
    std::string mealType;
    std::string description;
    int calories = 0;
    std::string eatenAt;
    std::string day;

    nlohmann::ordered_json toJson() const;
};
