#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

// The part of a chat request body the assistant works from: the last user turn's text and
// images, the kind of prompt and the signed-in user, if any.
struct ChatRequest
{
    std::string text;
    int imageCount = 0;
    std::string promptType;
    std::optional<std::string> userId;

    // Checks the body's shape; throws ApiError 400 naming the first problem.
    static ChatRequest parse(const nlohmann::ordered_json &body);
};
