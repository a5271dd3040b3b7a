#pragma once

#include "chat/ModelServer.h"
#include "storage/Profile.h"

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class Cancellation;
class Database;
class ToolBox;
struct ModelToolCall;

// The chat assistant of a model server: each reply streams the model's text as "content_delta"
// events while it arrives, runs the tools the model calls ("tool_use_start", "tool_result") and
// hands their results back to it, and ends with one "message_complete", or with one "error" that
// says what went wrong. Each signed-in user's recent exchanges go with every request.
class ModelChat
{
public:
    struct Turn
    {
        std::string text;
        std::vector<std::string> imageUrls;
        // "text" or "voice", which chooses the backend's prompt.
        std::string promptType = "text";
        std::optional<Profile> profile;
        std::string today;
    };

    // Receives each event, formatted for the stream, in order.
    using Emit = std::function<void(std::string event)>;

    ModelChat(ModelServerSettings settings, ToolBox &tools, Database &database, ModelLimits limits);

    // Asks the model server whether it answers, unless cancelled first; the text, for the log,
    // says which model does or why none can.
    ModelServer::Check check(Cancellation &cancellation);

    // Answers one turn. Never throws: every failure is an "error" event. A cancelled reply stops
    // at once, with no further event.
    void reply(const Turn &turn, const Emit &emit, Cancellation &cancellation);

private:
    void ensureAnswering(Cancellation &cancellation);
    // Runs the calls, reporting each, and adds them and their results to the messages.
    void runTools(const std::vector<ModelToolCall> &calls, const std::string &text,
                  const Turn &turn, nlohmann::json &messages, const Emit &emit);
    void remember(const Turn &turn, const std::string &answer);

    ModelServer server;
    ToolBox &tools;
    Database &database;
    ModelLimits limits;
    std::mutex mutex;
    // Set once the server has listed the model; until then each reply asks again, so that a
    // model server started after this one is found.
    std::optional<ModelServer::Check> answering;
};
