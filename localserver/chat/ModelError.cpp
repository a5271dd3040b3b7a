#include "chat/ModelError.h"

#include <utility>

ModelError::ModelError(std::string code, const std::string &message)
    : std::runtime_error(message)
    , errorCode(std::move(code))
{}
