#pragma once

#include <exception>

// How a browser sign-in ends without a callback URL: the user gave up, or no browser could be
// opened on the authorize page. what() is the user-facing description.
class WebAuthSessionError : public std::exception
{
public:
    enum class Case
    {
        canceledLogin,
        presentationFailed,
    };

    explicit WebAuthSessionError(Case errorCase)
        : kind(errorCase)
    {}

    static const char *description(Case errorCase);

    Case errorCase() const { return kind; }
    const char *what() const noexcept override { return description(kind); }

private:
    Case kind;
};
