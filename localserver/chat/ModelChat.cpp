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
#include "support/Text.h"
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

// The longest text of the model server's that reaches a log line or the user.
constexpr std::size_t maximumTextBytes = 500;

// Whether the UTF-8 text holds, at that place, a character that controls a terminal or the
// direction of text: control characters, C1 controls, and bidirectional embeddings, overrides
// and isolates. Returns its length in bytes, or 0.
std::size_t controlAt(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t offset) {
        return at + offset < text.size() ? static_cast<unsigned char>(text[at + offset]) : 0u;
    };
    if (byte(0) < 0x20 || byte(0) == 0x7f)
        return 1;
    if (byte(0) == 0xC2 && byte(1) >= 0x80 && byte(1) <= 0x9F)
        return 2;
    if (byte(0) == 0xE2 && ((byte(1) == 0x80 && byte(2) >= 0xAA && byte(2) <= 0xAE) ||
                            (byte(1) == 0x81 && byte(2) >= 0xA6 && byte(2) <= 0xA9)))
        return 3;
    return 0;
}

// Text of the model server's as the user may read it: without the key, on one line, with nothing
// that steers a terminal or the reading direction, and short.
std::string readable(const ModelServer &server, const std::string &text)
{
    const auto masked = server.withoutKey(text);
    std::string plain;
    for (std::size_t at = 0; at < masked.size();) {
        if (const auto length = controlAt(masked, at)) {
            plain += ' ';
            at += length;
        } else {
            plain += masked[at++];
        }
    }
    return std::string(Text::truncate(plain, maximumTextBytes));
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
    result.text = readable(server, result.text);
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
                body,
                [&](std::string_view bytes) {
                    parser.feed(bytes);
                    return !parser.isDone();
                },
                cancellation);
            if (cancellation.isCancelled())
                break;
            if (!parser.isDone())
                throw ModelError("model_incomplete",
                                 "The model server's reply ended before it was complete");
            const auto calls = parser.toolCalls();
            if (calls.empty() && parser.finishReason() == "length")
                throw ModelError("model_length",
                                 "The model's answer was cut off at the model's length limit");
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
        // The model's own ids may repeat or be missing; the client tells its tool cards apart
        // by id, so it gets fresh ones, and the model a distinct one for each result.
        const auto repeated = std::ranges::find(modelIds, call.id) != modelIds.end();
        modelIds.push_back(
            call.id.empty() || repeated ? "call_" + Crypto::hex(Crypto::randomBytes(8)) : call.id);
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
