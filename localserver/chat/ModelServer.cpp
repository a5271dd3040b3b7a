#include "chat/ModelServer.h"

#include "chat/Cancellation.h"
#include "chat/ModelError.h"
#include "support/Text.h"

#include <algorithm>
#include <charconv>
#include <exception>
#include <httplib.h>
#include <memory>
#include <regex>
#include <stdexcept>
#include <utility>

namespace {

using Json = nlohmann::json;
using Stopwatch = std::chrono::steady_clock;

// Enough of an error page to find its message; the rest is dropped as it arrives.
constexpr std::size_t maximumErrorBody = 64 * 1024;
// The longest a check of the models may take, and the most it reads.
constexpr std::chrono::seconds checkTimeout{10};
constexpr std::size_t maximumListingBytes = 1024 * 1024;

struct Attempt
{
    int status = 0;
    std::string retryAfter;
    std::string errorBody;
    std::exception_ptr failure;
    bool complete = false;
    Stopwatch::time_point lastByte = Stopwatch::now();
};

std::string seconds(std::chrono::milliseconds duration)
{
    return std::to_string((duration.count() + 999) / 1000);
}

// The server's own words for a refusal: OpenAI-compatible servers put them in "error" (an object
// with "message", or plain text); anything else is shown as it came, briefly.
std::string refusalMessage(const std::string &body)
{
    const auto parsed = Json::parse(body, nullptr, false);
    if (parsed.is_object() && parsed.contains("error"))
        if (auto message = ModelError::messageOf(parsed["error"]))
            return *message;
    if (parsed.is_object())
        if (auto message = ModelError::messageOf(parsed))
            return *message;
    std::string text(Text::trim(Text::truncate(body, 2000)));
    std::ranges::replace_if(
        text, [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
    return text.empty() || !Text::isValidUtf8(text) ? std::string("no reason given") : text;
}

// Retry-After in seconds; the date form is read as "soon".
std::chrono::seconds retryDelay(const std::string &header)
{
    long long value = 0;
    const auto *end = header.data() + header.size();
    const auto [last, error] = std::from_chars(header.data(), end, value);
    if (header.empty() || error != std::errc() || last != end || value < 0)
        return std::chrono::seconds(1);
    return std::chrono::seconds(std::min<long long>(value, 24 * 60 * 60));
}

} // namespace

ModelServer::ModelServer(ModelServerSettings settings)
    : config(std::move(settings))
{
    static const std::regex pattern(
        R"(^(https?://[A-Za-z0-9.\-]+(:[0-9]{1,5})?|https?://\[[0-9A-Fa-f:.]+\](:[0-9]{1,5})?)(/[^?#\s]*)?$)");
    std::smatch parts;
    if (!std::regex_match(config.url, parts, pattern))
        throw std::invalid_argument(
            "--model-url needs an http:// or https:// address without credentials, query or "
            "fragment, such as http://127.0.0.1:11434/v1");
    schemeHostPort = parts[1].str();
    basePath = parts[4].str();
    while (basePath.ends_with('/'))
        basePath.pop_back();
    if (config.model.empty())
        throw std::invalid_argument("--model needs the name of a model the server lists");
}

ModelServer::Check ModelServer::check(Cancellation &cancellation) const
{
    const auto client = clientFor(checkTimeout);
    auto request = requestFor("GET", "/models");
    std::string body;
    const auto deadline = Stopwatch::now() + checkTimeout;
    request.content_receiver = [&](const char *bytes, std::size_t size, std::uint64_t,
                                   std::uint64_t) {
        body.append(bytes, size);
        // A listing that never ends, or never stops growing, is not one.
        return body.size() <= maximumListingBytes && Stopwatch::now() < deadline;
    };
    const auto where = " at " + config.url;
    if (!cancellation.setInterruption([client] { client->stop(); }))
        return {false, "The model server" + where + " was not asked: the server is stopping"};
    auto result = client->send(request);
    cancellation.clearInterruption();
    if (cancellation.isCancelled())
        return {false, "The model server" + where + " was not heard out: the server is stopping"};
    if (body.size() > maximumListingBytes)
        return {false, "The model server" + where + " listed more than 1 MB of models"};
    if (!result && result.error() != httplib::Error::Connection &&
        result.error() != httplib::Error::ConnectionTimeout && Stopwatch::now() >= deadline)
        return {false, "The model server" + where + " did not list its models within " +
                           std::to_string(checkTimeout.count()) + " seconds"};
    if (!result)
        return {false, "Cannot reach the model server" + where + ": " +
                           httplib::to_string(result.error())};
    result->body = std::move(body);
    if (result->status == 401 || result->status == 403)
        return {false, "The model server" + where + " refused the API key (" +
                           std::to_string(result->status) +
                           "): " + withoutKey(refusalMessage(result->body))};
    if (result->status != 200)
        return {false,
                "The model server" + where + " answered " + std::to_string(result->status) +
                    " when asked for its models: " + withoutKey(refusalMessage(result->body))};
    const auto listing = Json::parse(result->body, nullptr, false);
    if (!listing.is_object() || !listing.contains("data") || !listing["data"].is_array())
        return {false, "The model server" + where + " did not list its models"};
    std::string names;
    for (const auto &entry : listing["data"]) {
        if (!entry.is_object() || !entry.contains("id") || !entry["id"].is_string())
            continue;
        const auto &id = entry["id"].get_ref<const std::string &>();
        // Ollama lists "llama3.1:latest" for the model its users call "llama3.1".
        if (id == config.model || id == config.model + ":latest")
            return {true, "Model " + config.model + " answers" + where};
        names += (names.empty() ? "" : ", ") + id;
    }
    return {false,
            "The model server" + where + " does not list " + config.model +
                (names.empty() ? " (it lists no model)"
                               : " (it lists " + std::string(Text::truncate(names, 2000)) + ")")};
}

void ModelServer::complete(const Json &body, const std::function<bool(std::string_view)> &onData,
                           Cancellation &cancellation) const
{
    for (int attempt = 0;; ++attempt) {
        const auto client = clientFor(config.stallTimeout);
        Attempt state;
        auto request = requestFor("POST", "/chat/completions");
        request.set_header("Content-Type", "application/json");
        request.set_header("Accept", "text/event-stream");
        request.body = body.dump(-1, ' ', false, Json::error_handler_t::replace);
        // Stopping the client shuts its socket, which ends a read that waits for the model.
        if (!cancellation.setInterruption([client] { client->stop(); }))
            return;
        request.response_handler = [&state](const httplib::Response &head) {
            state.status = head.status;
            state.retryAfter = head.get_header_value("Retry-After");
            return true;
        };
        request.content_receiver = [&](const char *bytes, std::size_t size, std::uint64_t,
                                       std::uint64_t) {
            state.lastByte = Stopwatch::now();
            if (cancellation.isCancelled())
                return false;
            if (state.status != 200) {
                state.errorBody.append(
                    bytes, std::min(size, maximumErrorBody -
                                              std::min(maximumErrorBody, state.errorBody.size())));
                return true;
            }
            // httplib is not written for exceptions thrown through it: carry them across.
            try {
                // A server may keep the connection after its last event: what it sends after
                // that is not read, let alone waited for.
                state.complete = !onData(std::string_view(bytes, size));
            } catch (...) {
                state.failure = std::current_exception();
                return false;
            }
            return !state.complete;
        };
        const auto result = client->send(request);
        cancellation.clearInterruption();

        if (state.failure)
            std::rethrow_exception(state.failure);
        if (cancellation.isCancelled() || state.complete)
            return;
        if (!result && state.status == 0) {
            if (result.error() == httplib::Error::Read &&
                Stopwatch::now() - state.lastByte >= config.stallTimeout)
                throw ModelError("model_timeout", "The model server" + std::string(" at ") +
                                                      config.url + " did not answer for " +
                                                      seconds(config.stallTimeout) + " seconds");
            throw ModelError("model_unreachable", "Cannot reach the model server at " + config.url +
                                                      ": " + httplib::to_string(result.error()));
        }
        if (state.status == 429 && attempt == 0) {
            const auto wait = retryDelay(state.retryAfter);
            if (wait <= config.longestRetryWait) {
                if (!cancellation.sleep(wait))
                    return;
                continue;
            }
        }
        if (state.status == 429)
            throw ModelError("model_busy", "The model server is busy (429): " +
                                               withoutKey(refusalMessage(state.errorBody)));
        if (state.status != 200)
            throw ModelError("model_refused", "The model server answered " +
                                                  std::to_string(state.status) + ": " +
                                                  withoutKey(refusalMessage(state.errorBody)));
        if (!result) {
            if (Stopwatch::now() - state.lastByte >= config.stallTimeout)
                throw ModelError("model_timeout", "The model server stopped sending for " +
                                                      seconds(config.stallTimeout) + " seconds");
            throw ModelError("model_incomplete", "The model server's reply broke off: " +
                                                     httplib::to_string(result.error()));
        }
        return;
    }
}

std::shared_ptr<httplib::Client> ModelServer::clientFor(std::chrono::milliseconds readTimeout) const
{
    auto client = std::make_shared<httplib::Client>(schemeHostPort);
    client->set_connection_timeout(config.connectTimeout);
    client->set_read_timeout(readTimeout);
    client->set_write_timeout(std::chrono::seconds(30));
    client->set_follow_location(false);
    client->set_keep_alive(false);
    return client;
}

httplib::Request ModelServer::requestFor(const std::string &method, const std::string &path) const
{
    httplib::Request request;
    request.method = method;
    request.path = basePath + path;
    if (!config.apiKey.empty())
        request.set_header("Authorization", "Bearer " + config.apiKey);
    return request;
}

std::string ModelServer::withoutKey(std::string text) const
{
    if (config.apiKey.empty())
        return text;
    static constexpr std::string_view mask = "[key]";
    for (auto at = text.find(config.apiKey); at != std::string::npos;
         at = text.find(config.apiKey, at + mask.size()))
        text.replace(at, config.apiKey.size(), mask);
    return text;
}

bool ModelServer::sendsKeyInTheClear() const
{
    static const std::regex loopback(R"(^http://(127\.[0-9.]+|localhost|\[::1\])(:[0-9]+)?$)");
    return !config.apiKey.empty() && schemeHostPort.starts_with("http://") &&
           !std::regex_match(schemeHostPort, loopback);
}
