#include "identity/AuthorizationCodes.h"

#include "support/Crypto.h"

#include <algorithm>
#include <utility>

AuthorizationCodes::AuthorizationCodes(Clock clock_)
    : clock(std::move(clock_))
{}

std::string AuthorizationCodes::issue(AuthorizationGrant grant)
{
    auto code = Crypto::randomToken(32);
    const auto now = clock();
    const std::lock_guard lock(mutex);
    dropExpired(now);
    if (entries.size() >= capacity) {
        const auto oldest = std::ranges::min_element(
            entries, {}, [](const auto &entry) { return entry.second.expiresAt; });
        entries.erase(oldest);
    }
    entries.emplace(code, Entry{std::move(grant), now + lifetime});
    return code;
}

std::optional<AuthorizationGrant> AuthorizationCodes::take(const std::string &code)
{
    const auto now = clock();
    const std::lock_guard lock(mutex);
    const auto entry = entries.find(code);
    if (entry == entries.end())
        return std::nullopt;
    auto taken = std::move(entry->second);
    entries.erase(entry);
    if (now >= taken.expiresAt)
        return std::nullopt;
    return std::move(taken.grant);
}

void AuthorizationCodes::dropExpired(std::chrono::system_clock::time_point now)
{
    std::erase_if(entries, [now](const auto &entry) { return now >= entry.second.expiresAt; });
}
