#include "tools/CalorieEstimator.h"

#include "support/Text.h"

#include <array>
#include <cctype>
#include <string>
#include <utility>

namespace {

constexpr std::array<std::pair<std::string_view, int>, 32> foods{{
    {"oatmeal", 150}, {"porridge", 150},  {"granola", 200},  {"cereal", 150}, {"toast", 80},
    {"bagel", 250},   {"croissant", 230}, {"pancake", 180},  {"egg", 78},     {"bacon", 90},
    {"yogurt", 100},  {"banana", 105},    {"apple", 95},     {"berries", 50}, {"blueberries", 50},
    {"orange", 60},   {"coffee", 5},      {"latte", 150},    {"juice", 110},  {"smoothie", 200},
    {"salad", 150},   {"soup", 150},      {"sandwich", 350}, {"wrap", 350},   {"chicken", 250},
    {"salmon", 350},  {"rice", 200},      {"pasta", 350},    {"pizza", 285},  {"burger", 550},
    {"steak", 600},   {"cookie", 150},
}};

int typicalMeal(std::string_view mealType)
{
    if (mealType == "breakfast")
        return 350;
    if (mealType == "lunch")
        return 550;
    if (mealType == "dinner")
        return 650;
    return 150;
}

// A word of the table, also in its plural form ("eggs", "pancakes").
int foodCalories(std::string_view word)
{
    for (const auto &[food, calories] : foods)
        if (word == food ||
            (word.size() == food.size() + 1 && word.starts_with(food) && word.back() == 's'))
            return calories;
    return 0;
}

} // namespace

namespace CalorieEstimator {

int estimate(std::string_view description, std::string_view mealType)
{
    const auto text = Text::lower(description);
    int total = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = start;
        while (end < text.size() && std::isalpha(static_cast<unsigned char>(text[end])))
            ++end;
        if (end > start)
            total += foodCalories(std::string_view(text).substr(start, end - start));
        start = end + 1;
    }
    return total > 0 ? total : typicalMeal(mealType);
}

std::optional<int> stated(std::string_view text)
{
    const auto lowered = Text::lower(text);
    for (std::size_t index = 0; index < lowered.size(); ++index) {
        if (!std::isdigit(static_cast<unsigned char>(lowered[index])) ||
            (index > 0 && std::isdigit(static_cast<unsigned char>(lowered[index - 1]))))
            continue;
        auto end = index;
        while (end < lowered.size() && std::isdigit(static_cast<unsigned char>(lowered[end])))
            ++end;
        if (end - index > 5)
            continue;
        auto unit = end;
        while (unit < lowered.size() && lowered[unit] == ' ')
            ++unit;
        const auto rest = std::string_view(lowered).substr(unit);
        if (rest.starts_with("kcal") || rest.starts_with("cal"))
            return std::stoi(lowered.substr(index, end - index));
    }
    return std::nullopt;
}

} // namespace CalorieEstimator
