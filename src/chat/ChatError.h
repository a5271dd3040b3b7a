#pragma once

#include <QString>
#include <exception>
#include <string>

// The chat stream client's own failures. what() is the user-facing description, shown as it is.
// Transport and JSON failures are not wrapped in this type; they reach callers unchanged.
class ChatError : public std::exception
{
public:
    enum class Case
    {
        apiError,
        invalidResponse,
        streamingError,
        replyTooLong,
        tooManyToolCalls
    };

    // The backend answered with a status other than 200.
    static ChatError apiError(int status);
    // The answer did not come over HTTP.
    static ChatError invalidResponse();
    // The backend reported an error inside the event stream.
    static ChatError streamingError();
    // The reply grew past the longest one the client keeps.
    static ChatError replyTooLong();
    // The reply started more tools than the client keeps.
    static ChatError tooManyToolCalls();

    Case errorCase() const { return kind; }
    // The status carried by apiError; 0 for the others.
    int status() const { return statusCode; }
    QString errorDescription() const;
    const char *what() const noexcept override { return description.c_str(); }

    friend bool operator==(const ChatError &a, const ChatError &b)
    {
        return a.kind == b.kind && a.statusCode == b.statusCode;
    }

private:
    ChatError(Case errorCase, int status);

    Case kind;
    int statusCode;
    std::string description;
};
