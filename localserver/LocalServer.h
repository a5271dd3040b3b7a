#pragma once

#include "LocalServerOptions.h"
#include "chat/Cancellation.h"
#include "chat/ChatEndpoint.h"
#include "chat/ModelChat.h"
#include "chat/Pacer.h"
#include "http/HttpServer.h"
#include "identity/IdentityProvider.h"
#include "identity/ProfileEndpoints.h"
#include "storage/Database.h"
#include "tools/McpEndpoint.h"
#include "tools/ToolBox.h"
#include "voice/VoiceEndpoint.h"

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

// The local backend: the identity provider, the web host's user info, the backend API's chat
// stream and prompts, the MCP server and the voice agent, all on 127.0.0.1. Any web page the user
// opens can send it requests, so those of other sites' pages are refused before routing. Requests
// run on a pool of threads; every refusal is a 4xx (503 when the voice agent is full) with a JSON
// body, and one line per request goes to standard output.
class LocalServer
{
public:
    // Opens the database; throws DatabaseError or std::filesystem::filesystem_error.
    explicit LocalServer(LocalServerOptions options);
    // Stops serving first.
    ~LocalServer();
    LocalServer(const LocalServer &) = delete;
    LocalServer &operator=(const LocalServer &) = delete;

    // Binds 127.0.0.1 and serves on a thread of its own; false when the port cannot be bound,
    // for instance because another server listens there.
    bool start();
    // With a model server configured, asks it on a thread of its own whether it answers, and
    // logs which model does, or why none can; without one, does nothing. A stop cuts it short.
    void checkModelServer();
    // Ends streams in progress, closes the port, waits for the serving threads and then ends
    // every voice session.
    void stop();

    // The bytes of the reply to one request's bytes, answered in process as a connection's would
    // be; for a server that was not started.
    std::string answer(std::string_view request);

    int port() const { return boundPort; }
    std::string baseUrl() const;

private:
    void addRoutes();
    void addSafeguards();

    LocalServerOptions options;
    Database database;
    ToolBox tools;
    Pacer pacer;
    std::unique_ptr<ModelChat> model;
    IdentityProvider identity;
    ProfileEndpoints profiles;
    ChatEndpoint chat;
    McpEndpoint mcp;
    VoiceEndpoint voice;
    HttpServer server;
    std::thread serving;
    Cancellation checkCancellation;
    std::atomic<bool> checked{false};
    std::thread checking;
    int boundPort = 0;
};
