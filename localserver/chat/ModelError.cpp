#include "chat/ModelError.h"

#include <utility>

ModelError::ModelError(std::string code, const std::string &message)
    : std::runtime_error(message)
    , errorCode(std::move(code))
{}

std::optional<std::string> ModelError::messageOf(const nlohmann::json &error)
{
    if (error.is_string())
        return error.get<std::string>();
    if (error.is_object() && error.contains("message") && error["message"].is_string())
        return error["message"].get<std::string>();
    return std::nullopt;
}
