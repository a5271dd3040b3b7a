#pragma once

#include <optional>
#include <string_view>

// Rough calories for a meal described in words, for users who do not count: a small table of
// common foods, else a typical amount for the kind of meal.
namespace CalorieEstimator {

int estimate(std::string_view description, std::string_view mealType);
// A number the user stated with "kcal", "cal" or "calories" after it.
std::optional<int> stated(std::string_view text);

} // namespace CalorieEstimator
