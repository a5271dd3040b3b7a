#include "storage/Todo.h"

nlohmann::ordered_json Todo::toJson() const
{
    nlohmann::ordered_json json{
        {"id", id}, {"title", title}, {"done", done}, {"created_at", createdAt}};
    json["completed_at"] = completedAt ? nlohmann::ordered_json(*completedAt) : nullptr;
    return json;
}
