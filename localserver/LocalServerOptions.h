#pragma once

#include "Configuration.h"
#include "support/Clock.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The user's own OpenAI-compatible model server, to answer chats with.
struct ModelServerSettings
{
    // The API's base, "http(s)://host[:port][/path]", e.g. "http://127.0.0.1:11434/v1".
    std::string url;
    std::string model;
    std::string apiKey;
    // A reply that sends nothing for this long has stopped.
    std::chrono::milliseconds stallTimeout{std::chrono::seconds(60)};
    // A stop waits for a connection under way: keep it short.
    std::chrono::milliseconds connectTimeout{std::chrono::seconds(5)};
    // A busy server's Retry-After is waited out once, if it asks no longer than this.
    std::chrono::seconds longestRetryWait{30};
};

// What chats with a model may hold.
struct ModelLimits
{
    // Rounds of tool calls in one reply; the model must answer after them.
    int toolRounds = 8;
    // The exchanges kept per user, and the characters they may hold together.
    std::size_t exchanges = 10;
    std::size_t characters = 24000;
    // The text of one answer, past which the model is stopped.
    std::size_t answerBytes = 256 * 1024;
};

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
    std::optional<ModelServerSettings> modelServer;
    ModelLimits modelLimits;
};
