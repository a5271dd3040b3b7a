#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

// One item of a user's todo list.
struct Todo
{
    std::int64_t id = 0;
    std::string title;
    bool done = false;
    std::string createdAt;
    std::optional<std::string> completedAt;

    nlohmann::ordered_json toJson() const;
};
