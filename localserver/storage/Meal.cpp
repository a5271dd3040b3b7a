#include "storage/Meal.h"

nlohmann::ordered_json Meal::toJson() const
{
    return {{"id", id},
            {"meal_type", mealType},
            {"description", description},
            {"calories", calories},
            {"eaten_at", eatenAt},
            {"date", day}};
}
