#include "chat/ChatError.h"

namespace {

std::string describe(ChatError::Case errorCase, int status)
{
    switch (errorCase) {
    case ChatError::Case::apiError:
        return "API error (status: " + std::to_string(status) + ")";
    case ChatError::Case::invalidResponse:
        return "Invalid response from server";
    case ChatError::Case::streamingError:
        return "Error during streaming response";
    case ChatError::Case::replyTooLong:
        return "The reply is too long to show";
    case ChatError::Case::tooManyToolCalls:
        return "The reply started too many tools";
    }
    return {};
}

} // namespace

ChatError::ChatError(Case errorCase, int status)
    : kind(errorCase)
    , statusCode(status)
    , description(describe(errorCase, status))
{}

ChatError ChatError::apiError(int status)
{
    return {Case::apiError, status};
}

ChatError ChatError::invalidResponse()
{
    return {Case::invalidResponse, 0};
}

ChatError ChatError::streamingError()
{
    return {Case::streamingError, 0};
}

ChatError ChatError::replyTooLong()
{
    return {Case::replyTooLong, 0};
}

ChatError ChatError::tooManyToolCalls()
{
    return {Case::tooManyToolCalls, 0};
}

QString ChatError::errorDescription() const
{
    return QString::fromStdString(description);
}
