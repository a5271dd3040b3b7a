#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

// The part of a chat request body the assistant works from: the last user turn's text and
// images, the kind of prompt and the signed-in user, if any.
struct ChatRequest
{
    std::string text;
    int imageCount = 0;
    // Each image as a data URL ("data:image/jpeg;base64,..."), in the order sent.
    std::vector<std::string> imageUrls;
    std::string promptType;
    std::optional<std::string> userId;

    // Checks the body's shape; throws ApiError 400 naming the first problem.
    static ChatRequest parse(const nlohmann::ordered_json &body);
};
