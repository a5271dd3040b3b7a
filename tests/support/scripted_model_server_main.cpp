// scripted-model-server SCRIPT.json: the scripted model server for end-to-end tests run from
// Python. Prints its base URL as the only line on standard output once listening and serves until
// SIGTERM or SIGINT. The script:
//
//   {"models": ["scripted"],              model ids of GET /v1/models (default ["scripted"])
//    "models_status": 401,                the model list refused with that status (default 200)
//    "replies": [                         answers to POST /v1/chat/completions, in order; when
//                                         they run out the last one is given again
//      {"chunks": [                       each chunk one of:
//         {"content": "Hello"},             a content delta
//         {"tool_call": {"index": 0, "id": "call_1", "name": "add_todo",
//                        "arguments": "{\"title\":"}},   a piece of a tool call (id and name
//                                                          only on its first piece)
//         {"finish": "tool_calls"},         an empty delta with that finish reason
//         {"raw": "{not json"}              any text after "data: "
//         ...each may carry "pause_ms", its own pause before it],
//       "pause_ms": 20,                   pause before every chunk but the first (default 0)
//       "done": true,                     "data: [DONE]" at the end (default true)
//       "hold_open_ms": 0,                then silence that long before the body ends
//       "drop": false,                    end by closing the connection mid-body
//       "headers": {"X-Name": "value"}},
//      {"text": ["Hel", "lo"], "pause_ms": 10},   content chunks, finish "stop", [DONE]
//      {"status": 429, "error": "slow down", "headers": {"Retry-After": "1"}},
//                                         an OpenAI-style error body with that message
//      {"status": 502, "body": "<html>bad gateway</html>"}]}   any body as it is

#include "ScriptedModelServer.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <stdexcept>

namespace {

using nlohmann::json;
using Reply = ScriptedModelServer::Reply;
using Chunk = ScriptedModelServer::Chunk;

std::chrono::milliseconds millis(const json &object, const char *key,
                                 std::chrono::milliseconds fallback)
{
    return object.contains(key) ? std::chrono::milliseconds{object.at(key).get<int>()} : fallback;
}

Chunk chunkFrom(const json &entry)
{
    if (entry.contains("content")) {
        return ScriptedModelServer::contentChunk(entry.at("content").get<std::string>());
    }
    if (entry.contains("tool_call")) {
        const auto &call = entry.at("tool_call");
        std::optional<std::string> id;
        std::optional<std::string> name;
        if (call.contains("id")) {
            id = call.at("id").get<std::string>();
        }
        if (call.contains("name")) {
            name = call.at("name").get<std::string>();
        }
        return ScriptedModelServer::toolCallChunk(call.value("index", 0), id, name,
                                                  call.value("arguments", std::string{}));
    }
    if (entry.contains("finish")) {
        return ScriptedModelServer::finishChunk(entry.at("finish").get<std::string>());
    }
    if (entry.contains("raw")) {
        return {entry.at("raw").get<std::string>(), std::chrono::milliseconds{0}};
    }
    throw std::invalid_argument("a chunk needs content, tool_call, finish or raw: " + entry.dump());
}

Reply replyFrom(const json &entry)
{
    const int status = entry.value("status", 200);
    Reply reply;
    if (entry.contains("error")) {
        reply = ScriptedModelServer::error(status, entry.at("error").get<std::string>());
    } else if (entry.contains("text")) {
        reply = ScriptedModelServer::text(entry.at("text").get<std::vector<std::string>>());
    } else {
        reply.status = status;
        reply.body = entry.value("body", std::string{});
        for (const auto &chunk : entry.value("chunks", json::array())) {
            reply.chunks.push_back(chunkFrom(chunk));
        }
    }
    const auto between = millis(entry, "pause_ms", std::chrono::milliseconds{0});
    const auto chunks = entry.value("chunks", json::array());
    for (std::size_t i = 0; i < reply.chunks.size(); ++i) {
        const auto fallback = i == 0 ? std::chrono::milliseconds{0} : between;
        reply.chunks[i].pauseBefore =
            i < chunks.size() ? millis(chunks[i], "pause_ms", fallback) : fallback;
    }
    const auto headers = entry.value("headers", json::object());
    for (const auto &[name, value] : headers.items()) {
        reply.headers.emplace_back(name, value.get<std::string>());
    }
    reply.done = entry.value("done", true);
    reply.holdOpen = millis(entry, "hold_open_ms", std::chrono::milliseconds{0});
    reply.dropConnection = entry.value("drop", false);
    return reply;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::cerr << "usage: scripted-model-server SCRIPT.json\n";
        return 2;
    }
    json script;
    std::vector<ScriptedModelServer::Reply> replies;
    try {
        std::ifstream file(argv[1]);
        if (!file) {
            throw std::runtime_error(std::string("cannot read ") + argv[1]);
        }
        script = json::parse(file);
        for (const auto &entry : script.value("replies", json::array())) {
            replies.push_back(replyFrom(entry));
        }
    } catch (const std::exception &error) {
        std::cerr << "scripted-model-server: " << error.what() << '\n';
        return 2;
    }

    // Blocked before the server's threads start, so that they inherit the mask and only sigwait
    // below receives the signals.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    try {
        ScriptedModelServer server(script.value("models", std::vector<std::string>{"scripted"}));
        server.setModelsStatus(script.value("models_status", 200));
        for (auto &reply : replies) {
            server.push(std::move(reply));
        }
        server.repeatLastReply(true);
        std::cout << server.baseUrl() << std::endl;
        int received = 0;
        sigwait(&signals, &received);
    } catch (const std::exception &error) {
        std::cerr << "scripted-model-server: " << error.what() << '\n';
        return 2;
    }
    return 0;
}
