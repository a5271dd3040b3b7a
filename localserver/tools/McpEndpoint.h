#pragma once

#include "tools/McpSessions.h"

#include <httplib.h>
#include <nlohmann/json.hpp>
#include <string>

class Database;
class ToolBox;

// The MCP server over streamable HTTP: JSON-RPC 2.0 messages posted to one path, answered as
// event streams. "initialize" opens a session whose id comes back in "Mcp-Session-Id"; every
// later message must carry it (400 without, 404 for a session the server does not know). The
// bearer credential is the user's id; each user reaches only their own data.
class McpEndpoint
{
public:
    static constexpr char path[] = "/";
    static constexpr char protocolVersion[] = "2025-03-26";
    static constexpr char sessionHeader[] = "Mcp-Session-Id";

    McpEndpoint(Database &database, ToolBox &tools);

    void post(const httplib::Request &request, httplib::Response &response);
    // Ends a session.
    void remove(const httplib::Request &request, httplib::Response &response);
    // The server offers no stream of its own.
    void get(const httplib::Request &request, httplib::Response &response);

private:
    // The signed-in user the bearer credential names; replies 401 and gives none otherwise.
    std::optional<std::string> authorize(const httplib::Request &request,
                                         httplib::Response &response);
    // The session's user; replies 400 or 404 and gives none when there is no usable session.
    std::optional<std::string> sessionUser(const httplib::Request &request,
                                           httplib::Response &response, const std::string &userId);
    void initialize(const nlohmann::ordered_json &message, const std::string &userId,
                    httplib::Response &response);
    // The reply to one message, or null for notifications and client responses.
    nlohmann::ordered_json handle(const nlohmann::ordered_json &message, const std::string &userId);
    nlohmann::ordered_json callTool(const nlohmann::ordered_json &id,
                                    const nlohmann::ordered_json &params,
                                    const std::string &userId);

    Database &database;
    ToolBox &tools;
    McpSessions sessions;
};
