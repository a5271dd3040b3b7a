#include "chat/ModelChat.h"

#include "chat/Cancellation.h"
#include "chat/ModelError.h"
#include "chat/ModelPrompt.h"
#include "chat/ModelStreamParser.h"
#include "common/JsonNesting.h"
#include "http/ServerSentEvents.h"
#include "identity/ProfileDefaults.h"
#include "storage/Database.h"
#include "support/Crypto.h"
#include "tools/ToolBox.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

std::string event(const std::string &name, OrderedJson data)
{
    OrderedJson typed{{"type", name}};
    typed.update(data);
    return ServerSentEvents::format(name, typed);
}

// Deeper than any tool's schema, and shallow enough for every walk over the parsed value.
constexpr std::size_t maximumArgumentDepth = 64;

struct Arguments
{
    std::optional<OrderedJson> value;
    // Why there is no value.
    std::string problem;
};

// The arguments as the tool takes them: an object, where a model that calls a tool without
// arguments may also send nothing at all.
Arguments argumentsOf(const ModelToolCall &call)
{
    if (call.arguments.find_first_not_of(" \t\r\n") == std::string::npos)
        return {OrderedJson::object(), {}};
    if (JsonNesting::exceeds(call.arguments, maximumArgumentDepth))
        return {std::nullopt, "The arguments for " + call.name + " were nested too deeply"};
    auto parsed = OrderedJson::parse(call.arguments, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object())
        return {std::nullopt, "The arguments for " + call.name + " were not a JSON object"};
    return {std::move(parsed), {}};
}

// Text of the model server's as the user may read it: one line, and without the key.
std::string readable(const ModelServer &server, std::string text)
{
    std::ranges::replace_if(
        text, [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }, ' ');
    return server.withoutKey(std::move(text));
}

std::size_t characterCount(const std::string &text)
{
    return static_cast<std::size_t>(std::ranges::count_if(
        text, [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// At most that many characters of UTF-8 text.
std::string firstCharacters(const std::string &text, std::size_t count)
{
    std::size_t end = 0;
    for (std::size_t seen = 0; end < text.size(); ++end) {
        if ((static_cast<unsigned char>(text[end]) & 0xC0) != 0x80 && seen++ == count)
            break;
    }
    return text.substr(0, end);
}

} // namespace

ModelChat::ModelChat(ModelServerSettings settings, ToolBox &tools_, Database &database_,
                     ModelLimits limits_)
    : server(std::move(settings))
    , tools(tools_)
    , database(database_)
    , limits(limits_)
{}

ModelServer::Check ModelChat::check(Cancellation &cancellation)
{
    auto result = server.check(cancellation);
    result.text = readable(server, std::move(result.text));
    const std::lock_guard lock(mutex);
    if (result.answers)
        answering = result;
    return result;
}

void ModelChat::ensureAnswering(Cancellation &cancellation)
{
    {
        const std::lock_guard lock(mutex);
        if (answering)
            return;
    }
    if (const auto result = check(cancellation); !result.answers)
        throw ModelError("model_unavailable", result.text);
}

void ModelChat::reply(const Turn &turn, const Emit &emit, Cancellation &cancellation)
{
    std::string answer;
    bool completed = false;
    try {
        ensureAnswering(cancellation);
        const auto memories =
            turn.profile ? ProfileDefaults::recentMemories(*turn.profile, database, turn.today)
                         : OrderedJson::object();
        auto messages = ModelPrompt::messages(
            ModelPrompt::system(turn.promptType, turn.profile ? &*turn.profile : nullptr, memories,
                                turn.today),
            turn.profile ? database.exchanges(turn.profile->id) : std::vector<Exchange>{},
            turn.text, turn.imageUrls);
        for (int round = 0;; ++round) {
            // What the model says after its tools starts a paragraph of its own, not the middle
            // of a word of what it said before them.
            bool separate = round > 0 && !answer.empty() &&
                            !std::isspace(static_cast<unsigned char>(answer.back()));
            ModelStreamParser parser([&](const std::string &delta) {
                const auto text = (std::exchange(separate, false) ? "\n\n" : "") + delta;
                answer += text;
                // A model caught in a loop would talk until the memory runs out.
                if (answer.size() > limits.answerBytes)
                    throw ModelError("model_too_long",
                                     "The model's answer grew past " +
                                         std::to_string(limits.answerBytes / 1024) +
                                         " KB and was stopped");
                emit(event("content_delta", {{"delta", text}}));
            });
            Json body{{"model", server.settings().model}, {"stream", true}, {"messages", messages}};
            // Without a signed-in user there is no diary or todo list to work on.
            if (turn.profile)
                body["tools"] = ModelPrompt::functions();
            server.complete(
                body, [&](std::string_view bytes) { parser.feed(bytes); }, cancellation);
            if (cancellation.isCancelled())
                break;
            if (!parser.isDone())
                throw ModelError("model_incomplete",
                                 "The model server's reply ended before it was complete");
            const auto calls = parser.toolCalls();
            if (calls.empty()) {
                emit(event("message_complete", OrderedJson::object()));
                completed = true;
                break;
            }
            if (round == limits.toolRounds)
                throw ModelError("too_many_tool_rounds",
                                 "The model kept calling tools after " +
                                     std::to_string(limits.toolRounds) +
                                     " rounds without answering; try asking more simply");
            runTools(calls, parser.text(), turn, messages, emit);
        }
    } catch (const ModelError &error) {
        if (!cancellation.isCancelled())
            emit(event("error",
                       {{"error", readable(server, error.what())}, {"code", error.code()}}));
    } catch (const std::exception &) {
        if (!cancellation.isCancelled())
            emit(event("error",
                       {{"error", "The assistant failed to answer"}, {"code", "internal_error"}}));
    }
    if (completed)
        remember(turn, answer);
}

void ModelChat::runTools(const std::vector<ModelToolCall> &calls, const std::string &text,
                         const Turn &turn, Json &messages, const Emit &emit)
{
    Json requested = Json::array();
    std::vector<std::string> modelIds;
    for (const auto &call : calls) {
        // The model's own ids may repeat across rounds or be missing; the client tells its tool
        // cards apart by id, so it gets fresh ones.
        modelIds.push_back(call.id.empty() ? "call_" + Crypto::hex(Crypto::randomBytes(8))
                                           : call.id);
        requested.push_back({{"id", modelIds.back()},
                             {"type", "function"},
                             {"function", {{"name", call.name}, {"arguments", call.arguments}}}});
    }
    messages.push_back({{"role", "assistant"},
                        {"content", text.empty() ? Json(nullptr) : Json(text)},
                        {"tool_calls", std::move(requested)}});

    for (std::size_t index = 0; index < calls.size(); ++index) {
        const auto &call = calls[index];
        const auto toolId = "toolu_" + Crypto::hex(Crypto::randomBytes(12));
        const auto arguments = argumentsOf(call);
        emit(event("tool_use_start", {{"tool_id", toolId},
                                      {"tool", call.name},
                                      {"input", arguments.value.value_or(OrderedJson::object())}}));
        ToolOutcome outcome;
        if (!turn.profile)
            outcome = {{call.name, {}}, "No tools can run without a signed-in user", nullptr, true};
        else if (!arguments.value)
            outcome = {{call.name, {}}, arguments.problem, nullptr, true};
        else
            outcome = tools.run(turn.profile->id, ToolRequest{call.name, *arguments.value});
        emit(event("tool_result",
                   {{"tool_id", toolId}, {"result", outcome.text}, {"is_error", outcome.isError}}));
        messages.push_back(
            {{"role", "tool"}, {"tool_call_id", modelIds[index]}, {"content", outcome.text}});
    }
}

void ModelChat::remember(const Turn &turn, const std::string &answer)
{
    if (!turn.profile || answer.empty())
        return;
    auto question = turn.text;
    if (!turn.imageUrls.empty())
        question += question.empty() ? "(an image)" : " (with an image)";
    // An exchange longer than the whole budget is kept cut to it, the question to a quarter at
    // most: dropped, it would take every older one with it.
    question = firstCharacters(question, limits.characters / 4);
    const auto kept = firstCharacters(answer, limits.characters - characterCount(question));
    try {
        database.addExchange(turn.profile->id, Exchange{question, kept}, limits.exchanges,
                             limits.characters);
    } catch (const std::exception &) {
        // The answer has been given; a conversation the model forgets is the lesser loss.
    }
}
