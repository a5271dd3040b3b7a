#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

// Who wrote a message. The raw value is also the JSON form.
enum class MessageRole
{
    user,
    assistant,
};

std::string_view rawValue(MessageRole role);
// Nothing for any text other than "user" and "assistant".
std::optional<MessageRole> messageRoleFromRawValue(std::string_view rawValue);

void to_json(nlohmann::ordered_json &json, MessageRole role);
// Throws DecodingError for a string that names no role; non-strings fail as nlohmann reports.
void from_json(const nlohmann::ordered_json &json, MessageRole &role);
