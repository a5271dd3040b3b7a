#include "tools/McpSessions.h"

#include "support/Crypto.h"

#include <algorithm>

std::string McpSessions::open(const std::string &userId)
{
    auto id = Crypto::hex(Crypto::randomBytes(16));
    const std::lock_guard lock(mutex);
    if (sessions.size() >= capacity)
        sessions.erase(std::ranges::min_element(
            sessions, {}, [](const auto &entry) { return entry.second.lastUse; }));
    sessions.emplace(id, Session{userId, ++uses});
    return id;
}

std::optional<std::string> McpSessions::userOf(const std::string &sessionId)
{
    const std::lock_guard lock(mutex);
    const auto session = sessions.find(sessionId);
    if (session == sessions.end())
        return std::nullopt;
    session->second.lastUse = ++uses;
    return session->second.userId;
}

bool McpSessions::close(const std::string &sessionId)
{
    const std::lock_guard lock(mutex);
    return sessions.erase(sessionId) > 0;
}
