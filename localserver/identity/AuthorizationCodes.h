#pragma once

#include "support/Clock.h"

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>

// What an authorization code stands for: who signed in, for which client and redirect, and the
// PKCE challenge the token request must answer, if the sign-in carried one.
struct AuthorizationGrant
{
    std::string clientId;
    std::string redirectUri;
    std::string userId;
    std::optional<std::string> codeChallenge;
};

// The codes handed out by the sign-in page. A code is good for ten minutes and for one token
// request: taking it removes it, whatever that request then decides.
class AuthorizationCodes
{
public:
    static constexpr std::chrono::minutes lifetime{10};
    // Codes nobody redeems pile up at most this far; the oldest go first.
    static constexpr std::size_t capacity = 1000;

    explicit AuthorizationCodes(Clock clock);

    std::string issue(AuthorizationGrant grant);
    // The grant of a code issued less than the lifetime ago and not taken before.
    std::optional<AuthorizationGrant> take(const std::string &code);

private:
    struct Entry
    {
        AuthorizationGrant grant;
        std::chrono::system_clock::time_point expiresAt;
    };

    void dropExpired(std::chrono::system_clock::time_point now);

    Clock clock;
    std::mutex mutex;
    std::map<std::string, Entry> entries;
};
