#pragma once

#include <stdexcept>
#include <string>

// Why a model reply failed, in words for the user, with the code the "error" event carries.
class ModelError : public std::runtime_error
{
public:
    ModelError(std::string code, const std::string &message);

    const std::string &code() const { return errorCode; }

private:
    std::string errorCode;
};
