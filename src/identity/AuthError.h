#pragma once

#include <exception>

// The sign-in service's own failures. what() is the user-facing description the sign-in screen
// shows as it is; failures of the transport, the store and the JSON decoder are not wrapped.
class AuthError : public std::exception
{
public:
    enum class Case
    {
        networkError,
        invalidAuthURL,
        invalidCallback,
        tokenExchangeFailed,
        notAuthenticated,
    };

    explicit AuthError(Case errorCase)
        : kind(errorCase)
    {}

    static const char *description(Case errorCase);

    Case errorCase() const { return kind; }
    const char *what() const noexcept override { return description(kind); }

    friend bool operator==(const AuthError &a, const AuthError &b) { return a.kind == b.kind; }

private:
    Case kind;
};
