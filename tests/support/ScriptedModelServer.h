#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <httplib.h>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// The user's own OpenAI-compatible model server (Ollama, llama.cpp's server, vLLM), as the local
// backend's bridge meets it: a model list and a chat-completions event stream on 127.0.0.1, each
// answer scripted by the test. Serves on a thread of its own from construction to destruction.
class ScriptedModelServer
{
public:
    // One event: the text after "data: " (a chunk's JSON, or anything malformed).
    struct Chunk
    {
        std::string data;
        std::chrono::milliseconds pauseBefore{0};
    };

    // One answer to a chat request.
    struct Reply
    {
        int status = 200;
        // Sent with any status, e.g. {"Retry-After", "1"}.
        std::vector<std::pair<std::string, std::string>> headers;
        // The body of a non-200 reply (JSON).
        std::string body;
        // A 200 reply streams these as "data: ...\n\n", text/event-stream, chunked.
        std::vector<Chunk> chunks;
        // "data: [DONE]\n\n" after the chunks.
        bool done = true;
        // Then nothing for that long before the body ends, as a stalled server.
        std::chrono::milliseconds holdOpen{0};
        // End by closing the connection without the chunked body's last chunk, as a server that
        // crashed mid-stream.
        bool dropConnection = false;
    };

    // Wire-format chunks: a content delta, a piece of a tool call (id and name only on the first
    // piece of a call, as servers send them), an empty delta with the finish reason.
    static Chunk contentChunk(const std::string &delta);
    static Chunk toolCallChunk(int index, std::optional<std::string> id,
                               std::optional<std::string> name, const std::string &argumentsPart);
    static Chunk finishChunk(const std::string &reason);
    // Content chunks, a finish "stop" and [DONE].
    static Reply text(const std::vector<std::string> &deltas);
    // A status with an OpenAI-style error body.
    static Reply error(int status, const std::string &message);
    static std::string errorBody(int status, const std::string &message);

    // Throws std::runtime_error when no port on 127.0.0.1 can be bound.
    explicit ScriptedModelServer(std::vector<std::string> models = {"scripted"});
    // Ends replies still streaming or held open, then stops serving.
    ~ScriptedModelServer();
    ScriptedModelServer(const ScriptedModelServer &) = delete;
    ScriptedModelServer &operator=(const ScriptedModelServer &) = delete;

    int port() const { return boundPort; }
    // "http://127.0.0.1:PORT/v1"
    std::string baseUrl() const;

    // The model list answers with this status and an error body instead (200 restores it).
    void setModelsStatus(int status);
    // Chat requests take the pushed replies in order; with none left they get a 500, or the
    // last reply again once repeatLastReply(true) was called.
    void push(Reply reply);
    void repeatLastReply(bool repeat);

    // Copies, safe from any thread. A chat body that is not JSON is kept as a JSON string.
    std::vector<nlohmann::json> chatRequests() const;
    // The Authorization header of every request, the model list's included; "" when absent.
    std::vector<std::string> authorizations() const;
    // Scripted chunks that reached a client so far ([DONE] not counted).
    int chunksWritten() const;
    // True once a client closed its connection while a reply was still streaming or held open,
    // waiting up to the timeout. A reply notices within about 10 ms and writes nothing more.
    bool waitForClientGone(std::chrono::milliseconds timeout);
    // When the latest reply's first chunk was written; a default time point before that.
    std::chrono::steady_clock::time_point firstChunkWrittenAt() const;
    // When each of the latest reply's scripted chunks was written, in order, so that a benchmark
    // can pair every chunk with its arrival at the client.
    std::vector<std::chrono::steady_clock::time_point> chunkWrittenTimes() const;

private:
    void addRoutes();
    void recordAuthorization(const httplib::Request &request);
    std::optional<Reply> nextReply();
    // Streams the reply's chunks; false when the client left or the server is stopping.
    bool stream(const Reply &reply, httplib::DataSink &sink);
    // Waits that long unless the client leaves or the server stops; false then.
    bool pause(std::chrono::milliseconds duration, httplib::DataSink &sink);
    bool writeEvent(const std::string &data, httplib::DataSink &sink, bool scripted);

    const std::vector<std::string> models;
    httplib::Server server;
    std::thread serving;
    std::atomic<bool> listenEnded = false;
    int boundPort = 0;

    mutable std::mutex mutex;
    std::condition_variable changed;
    std::deque<Reply> replies;
    std::optional<Reply> lastReply;
    bool repeatLast = false;
    int modelsStatus = 200;
    std::vector<nlohmann::json> requests;
    std::vector<std::string> authorizationHeaders;
    int written = 0;
    bool clientGone = false;
    bool stopping = false;
    std::chrono::steady_clock::time_point firstChunkAt;
    std::vector<std::chrono::steady_clock::time_point> chunkTimes;
};
