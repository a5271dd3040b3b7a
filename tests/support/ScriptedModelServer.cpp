#include "ScriptedModelServer.h"

#include <algorithm>
#include <stdexcept>

namespace {

using nlohmann::json;
// Keys in the order the servers send them, so a captured stream reads like theirs.
using nlohmann::ordered_json;
using namespace std::chrono_literals;

// How often a pause looks whether its client is still there.
constexpr auto clientCheckInterval = 5ms;

ordered_json chunkEnvelope(ordered_json delta, ordered_json finishReason)
{
    const auto created = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
    return {{"id", "chatcmpl-scripted"},
            {"object", "chat.completion.chunk"},
            {"created", created},
            {"model", "scripted"},
            {"choices", ordered_json::array({{{"index", 0},
                                              {"delta", std::move(delta)},
                                              {"finish_reason", std::move(finishReason)}}})}};
}

std::string errorType(int status)
{
    switch (status) {
    case 401:
        return "authentication_error";
    case 403:
        return "permission_error";
    case 404:
        return "not_found_error";
    case 429:
        return "rate_limit_error";
    default:
        return status >= 500 ? "server_error" : "invalid_request_error";
    }
}

} // namespace

ScriptedModelServer::Chunk ScriptedModelServer::contentChunk(const std::string &delta)
{
    return {chunkEnvelope({{"role", "assistant"}, {"content", delta}}, nullptr).dump(), 0ms};
}

ScriptedModelServer::Chunk ScriptedModelServer::toolCallChunk(int index,
                                                              std::optional<std::string> id,
                                                              std::optional<std::string> name,
                                                              const std::string &argumentsPart)
{
    ordered_json call = {{"index", index}};
    if (id) {
        call["id"] = *id;
        call["type"] = "function";
    }
    ordered_json function = ordered_json::object();
    if (name) {
        function["name"] = *name;
    }
    function["arguments"] = argumentsPart;
    call["function"] = std::move(function);
    // The first piece of a call opens the assistant's turn, as the servers send it.
    ordered_json delta = ordered_json::object();
    if (id) {
        delta["role"] = "assistant";
    }
    delta["tool_calls"] = ordered_json::array({std::move(call)});
    return {chunkEnvelope(std::move(delta), nullptr).dump(), 0ms};
}

ScriptedModelServer::Chunk ScriptedModelServer::finishChunk(const std::string &reason)
{
    return {chunkEnvelope(ordered_json::object(), reason).dump(), 0ms};
}

ScriptedModelServer::Reply ScriptedModelServer::text(const std::vector<std::string> &deltas)
{
    Reply reply;
    for (const auto &delta : deltas) {
        reply.chunks.push_back(contentChunk(delta));
    }
    reply.chunks.push_back(finishChunk("stop"));
    return reply;
}

std::string ScriptedModelServer::errorBody(int status, const std::string &message)
{
    return ordered_json{{"error",
                         {{"message", message},
                          {"type", errorType(status)},
                          {"param", nullptr},
                          {"code", nullptr}}}}
        .dump();
}

ScriptedModelServer::Reply ScriptedModelServer::error(int status, const std::string &message)
{
    Reply reply;
    reply.status = status;
    reply.body = errorBody(status, message);
    return reply;
}

ScriptedModelServer::ScriptedModelServer(std::vector<std::string> modelNames)
    : models(std::move(modelNames))
{
    addRoutes();
    boundPort = server.bind_to_any_port("127.0.0.1");
    if (boundPort <= 0) {
        throw std::runtime_error("the scripted model server cannot bind a port on 127.0.0.1");
    }
    serving = std::thread([this] {
        server.listen_after_bind();
        listenEnded = true;
    });
    // httplib's stop() does nothing before the accepting loop runs, so a server destroyed right
    // after construction would otherwise never stop. The loop starts within microseconds.
    while (!server.is_running() && !listenEnded) {
        std::this_thread::sleep_for(100us);
    }
}

ScriptedModelServer::~ScriptedModelServer()
{
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    server.stop();
    serving.join();
}

std::string ScriptedModelServer::baseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(boundPort) + "/v1";
}

void ScriptedModelServer::setModelsStatus(int status)
{
    std::lock_guard lock(mutex);
    modelsStatus = status;
}

void ScriptedModelServer::push(Reply reply)
{
    std::lock_guard lock(mutex);
    replies.push_back(std::move(reply));
}

void ScriptedModelServer::repeatLastReply(bool repeat)
{
    std::lock_guard lock(mutex);
    repeatLast = repeat;
}

std::vector<nlohmann::json> ScriptedModelServer::chatRequests() const
{
    std::lock_guard lock(mutex);
    return requests;
}

std::vector<std::string> ScriptedModelServer::authorizations() const
{
    std::lock_guard lock(mutex);
    return authorizationHeaders;
}

int ScriptedModelServer::chunksWritten() const
{
    std::lock_guard lock(mutex);
    return written;
}

bool ScriptedModelServer::waitForClientGone(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, timeout, [this] { return clientGone; });
}

std::chrono::steady_clock::time_point ScriptedModelServer::firstChunkWrittenAt() const
{
    std::lock_guard lock(mutex);
    return firstChunkAt;
}

std::vector<std::chrono::steady_clock::time_point> ScriptedModelServer::chunkWrittenTimes() const
{
    std::lock_guard lock(mutex);
    return chunkTimes;
}

void ScriptedModelServer::addRoutes()
{
    server.Get("/v1/models", [this](const httplib::Request &request, httplib::Response &response) {
        recordAuthorization(request);
        int status = 200;
        {
            std::lock_guard lock(mutex);
            status = modelsStatus;
        }
        if (status != 200) {
            response.status = status;
            response.set_content(errorBody(status, "the model list is refused"),
                                 "application/json");
            return;
        }
        ordered_json data = ordered_json::array();
        for (const auto &name : models) {
            data.push_back({{"id", name}, {"object", "model"}, {"owned_by", "scripted"}});
        }
        response.set_content(ordered_json{{"object", "list"}, {"data", std::move(data)}}.dump(),
                             "application/json");
    });

    server.Post("/v1/chat/completions", [this](const httplib::Request &request,
                                               httplib::Response &response) {
        recordAuthorization(request);
        {
            auto body = json::parse(request.body, nullptr, false);
            std::lock_guard lock(mutex);
            requests.push_back(body.is_discarded() ? json(request.body) : std::move(body));
        }
        auto reply = nextReply();
        if (!reply) {
            response.status = 500;
            response.set_content(errorBody(500, "no reply scripted"), "application/json");
            return;
        }
        response.status = reply->status;
        for (const auto &[name, value] : reply->headers) {
            response.set_header(name, value);
        }
        if (reply->status != 200) {
            response.set_content(reply->body, "application/json");
            return;
        }
        response.set_header("Cache-Control", "no-cache");
        response.set_chunked_content_provider(
            "text/event-stream",
            [this, scripted = std::move(*reply)](size_t, httplib::DataSink &sink) {
                if (!stream(scripted, sink) || scripted.dropConnection) {
                    // httplib closes the connection without ending the chunked body.
                    return false;
                }
                sink.done();
                return true;
            });
    });
}

void ScriptedModelServer::recordAuthorization(const httplib::Request &request)
{
    std::lock_guard lock(mutex);
    authorizationHeaders.push_back(request.get_header_value("Authorization"));
}

std::optional<ScriptedModelServer::Reply> ScriptedModelServer::nextReply()
{
    std::lock_guard lock(mutex);
    if (replies.empty()) {
        if (repeatLast && lastReply) {
            return lastReply;
        }
        return std::nullopt;
    }
    lastReply = std::move(replies.front());
    replies.pop_front();
    return lastReply;
}

bool ScriptedModelServer::stream(const Reply &reply, httplib::DataSink &sink)
{
    {
        std::lock_guard lock(mutex);
        firstChunkAt = {};
        chunkTimes.clear();
    }
    for (const auto &chunk : reply.chunks) {
        if (!pause(chunk.pauseBefore, sink) || !writeEvent(chunk.data, sink, true)) {
            return false;
        }
    }
    if (reply.done && !writeEvent("[DONE]", sink, false)) {
        return false;
    }
    return pause(reply.holdOpen, sink);
}

bool ScriptedModelServer::pause(std::chrono::milliseconds duration, httplib::DataSink &sink)
{
    const auto until = std::chrono::steady_clock::now() + duration;
    std::unique_lock lock(mutex);
    while (true) {
        if (stopping) {
            return false;
        }
        // is_writable() sees a peer that closed the socket; it must be asked without the lock, as
        // it may wait on the socket.
        lock.unlock();
        const bool present = sink.is_writable();
        lock.lock();
        if (!present) {
            clientGone = true;
            changed.notify_all();
            return false;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) {
            return true;
        }
        changed.wait_until(lock, std::min(until, now + clientCheckInterval),
                           [this] { return stopping; });
    }
}

bool ScriptedModelServer::writeEvent(const std::string &data, httplib::DataSink &sink,
                                     bool scripted)
{
    const std::string event = "data: " + data + "\n\n";
    const bool sent = sink.write(event.data(), event.size());
    std::lock_guard lock(mutex);
    if (!sent) {
        clientGone = true;
        changed.notify_all();
        return false;
    }
    if (scripted) {
        const auto now = std::chrono::steady_clock::now();
        if (firstChunkAt == std::chrono::steady_clock::time_point{}) {
            firstChunkAt = now;
        }
        chunkTimes.push_back(now);
        ++written;
    }
    return true;
}
