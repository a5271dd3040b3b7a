#include "model/MessageRole.h"

#include "model/DecodingError.h"

#include <string>

std::string_view rawValue(MessageRole role)
{
    switch (role) {
    case MessageRole::user:
        return "user";
    case MessageRole::assistant:
        return "assistant";
    }
    return {};
}

std::optional<MessageRole> messageRoleFromRawValue(std::string_view rawValue)
{
    if (rawValue == "user")
        return MessageRole::user;
    if (rawValue == "assistant")
        return MessageRole::assistant;
    return std::nullopt;
}

void to_json(nlohmann::ordered_json &json, MessageRole role)
{
    json = rawValue(role);
}

void from_json(const nlohmann::ordered_json &json, MessageRole &role)
{
    const auto text = json.get<std::string>();
    const auto decoded = messageRoleFromRawValue(text);
    if (!decoded)
        throw DecodingError("Cannot initialize MessageRole from invalid String value " + text);
    role = *decoded;
}
