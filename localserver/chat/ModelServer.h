#pragma once

#include "LocalServerOptions.h"

#include <chrono>
#include <functional>
#include <httplib.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

class Cancellation;

// The user's own model server, spoken to as OpenAI-compatible servers (Ollama, llama.cpp's server,
// vLLM, hosted services) expect: GET {url}/models and streamed POST {url}/chat/completions, with
// the API key, when there is one, as the bearer credential. No request follows a redirect, and
// the key appears in no text this class hands out.
class ModelServer
{
public:
    struct Check
    {
        bool answers = false;
        // Which model answers, or why none can.
        std::string text;
    };

    // Throws std::invalid_argument naming what is wrong with the URL.
    explicit ModelServer(ModelServerSettings settings);

    const ModelServerSettings &settings() const { return config; }

    // Asks the server for its models, unless cancelled first.
    Check check(Cancellation &cancellation) const;

    // Posts one streamed completion and hands each piece of its body to onData as it arrives,
    // until onData says it has all it needs. Returns when the body ends, when onData has all,
    // or when the cancellation stops it; throws ModelError for a refusal
    // (with the server's own message), a server it cannot reach and a reply that stalls or
    // breaks off. Exceptions of onData end the request and pass through.
    void complete(const nlohmann::json &body, const std::function<bool(std::string_view)> &onData,
                  Cancellation &cancellation) const;

    // The text with every occurrence of the key masked.
    std::string withoutKey(std::string text) const;
    // Whether the key would travel unencrypted to another machine.
    bool sendsKeyInTheClear() const;

private:
    // A client for one request that never follows a redirect, and a request with the key.
    std::shared_ptr<httplib::Client> clientFor(std::chrono::milliseconds readTimeout) const;
    httplib::Request requestFor(const std::string &method, const std::string &path) const;

    ModelServerSettings config;
    std::string schemeHostPort;
    std::string basePath;
};
