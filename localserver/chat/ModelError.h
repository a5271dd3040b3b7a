#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>

// Why a model reply failed, in words for the user, with the code the "error" event carries.
class ModelError : public std::runtime_error
{
public:
    ModelError(std::string code, const std::string &message);

    const std::string &code() const { return errorCode; }

    // The message of an error as OpenAI-compatible servers shape it, in a reply's body or inside
    // a stream: an object with "message", or, in some servers, the bare text; none otherwise.
    static std::optional<std::string> messageOf(const nlohmann::json &error);

private:
    std::string errorCode;
};
