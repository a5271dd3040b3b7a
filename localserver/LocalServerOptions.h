#pragma once

#include "Configuration.h"
#include "chat/ModelChat.h"
#include "chat/ModelServer.h"
#include "support/Clock.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// How one server runs. The identifiers default to the default build's, so that the app built
// without endpoint settings talks to this server as it is.
struct LocalServerOptions
{
    static constexpr int defaultPort = 8787;

    // 0 picks a free port.
    int port = defaultPort;
    std::filesystem::path dataDirectory;
    // The pause after each streamed chat event: about 30 text deltas a second by default.
    std::chrono::milliseconds pace{33};
    std::string clientId = Configuration::idpClientId;
    std::string apiToken = Configuration::apiToken;
    // The only places the sign-in page sends a browser back to.
    std::vector<std::string> redirectUris{"vessa-mac://callback"};
    Clock clock = [] { return std::chrono::system_clock::now(); };
    // The user's model server, when chats should be answered by a model rather than by rules.
    std::optional<ModelServer::Settings> modelServer;
    ModelChat::Limits modelLimits;
};
