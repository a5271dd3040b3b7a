#include "tools/InvalidToolCall.h"

InvalidToolCall::InvalidToolCall(const std::string &message)
    : std::invalid_argument(message)
{}
