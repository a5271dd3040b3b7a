#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

// The MCP sessions the server has issued, each bound to the user who opened it. Sessions live
// until closed or until they are the least recently used once the table is full.
class McpSessions
{
public:
    static constexpr std::size_t capacity = 1000;

    std::string open(const std::string &userId);
    // The session's user, if the session is live; using a session keeps it alive.
    std::optional<std::string> userOf(const std::string &sessionId);
    bool close(const std::string &sessionId);

private:
    struct Session
    {
        std::string userId;
        std::uint64_t lastUse = 0;
    };

    std::mutex mutex;
    std::map<std::string, Session> sessions;
    std::uint64_t uses = 0;
};
