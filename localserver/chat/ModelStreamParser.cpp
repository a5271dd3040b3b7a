#include "chat/ModelStreamParser.h"

#include "chat/ModelError.h"
#include "common/JsonNesting.h"
#include "support/Text.h"

#include <nlohmann/json.hpp>
#include <utility>

namespace {

using Json = nlohmann::json;

// A chunk nests four levels; a little room for extensions, none for a stack-deep document.
constexpr std::size_t maximumChunkDepth = 64;
// Indexes count calls from 0; far larger ones are not indexes of this reply.
constexpr long long maximumToolIndex = 1000000;

[[noreturn]] void malformed(const std::string &why)
{
    throw ModelError("model_malformed", "The model server sent a malformed reply: " + why);
}

const Json *member(const Json &object, const char *key)
{
    if (!object.is_object())
        return nullptr;
    const auto found = object.find(key);
    return found == object.end() || found->is_null() ? nullptr : &*found;
}

const std::string *stringMember(const Json &object, const char *key)
{
    const auto *value = member(object, key);
    return value && value->is_string() ? &value->get_ref<const std::string &>() : nullptr;
}

} // namespace

ModelStreamParser::ModelStreamParser(ContentHandler onContent_)
    : onContent(std::move(onContent_))
{}

void ModelStreamParser::feed(std::string_view bytes)
{
    for (const char byte : bytes) {
        if (skipLineFeed) {
            skipLineFeed = false;
            if (byte == '\n')
                continue;
        }
        if (byte == '\r' || byte == '\n') {
            skipLineFeed = byte == '\r';
            takeLine(pending);
            pending.clear();
            continue;
        }
        pending.push_back(byte);
        if (pending.size() + data.size() > maximumEventBytes)
            malformed("an event longer than 4 MB");
    }
}

std::vector<ModelToolCall> ModelStreamParser::toolCalls() const
{
    std::vector<ModelToolCall> ordered;
    for (const auto &[index, call] : calls)
        ordered.push_back(call);
    return ordered;
}

void ModelStreamParser::takeLine(std::string_view line)
{
    if (done)
        return;
    if (line.empty()) {
        dispatch();
        return;
    }
    // Comments keep idle connections open; other fields name events or retries, which a
    // completion stream does not use.
    if (!line.starts_with("data:"))
        return;
    line.remove_prefix(5);
    if (line.starts_with(' '))
        line.remove_prefix(1);
    if (hasData)
        data += '\n';
    data += line;
    hasData = true;
}

void ModelStreamParser::dispatch()
{
    if (!hasData)
        return;
    auto chunk = std::exchange(data, {});
    hasData = false;
    if (chunk == "[DONE]") {
        done = true;
        return;
    }
    takeChunk(chunk);
}

void ModelStreamParser::takeChunk(const std::string &text)
{
    if (JsonNesting::exceeds(text, maximumChunkDepth))
        malformed("a chunk nested too deeply");
    auto chunk = Json::parse(text, nullptr, false);
    if (chunk.is_discarded() || !chunk.is_object())
        malformed("a chunk that is not a JSON object: " + std::string(Text::truncate(text, 1000)));
    if (const auto *error = member(chunk, "error"))
        throw ModelError("model_error",
                         "The model server failed: " +
                             ModelError::messageOf(*error).value_or("no reason given"));
    const auto *choices = member(chunk, "choices");
    if (!choices)
        return;
    if (!choices->is_array())
        malformed("\"choices\" is not a list");
    // One completion was asked for; usage chunks come with no choice at all.
    if (choices->empty())
        return;
    if (const auto *reason = stringMember(choices->front(), "finish_reason"))
        finish = *reason;
    const auto *delta = member(choices->front(), "delta");
    if (!delta)
        return;
    if (const auto *piece = stringMember(*delta, "content"); piece && !piece->empty()) {
        content += *piece;
        onContent(*piece);
    }
    if (const auto *toolCalls = member(*delta, "tool_calls")) {
        if (!toolCalls->is_array())
            malformed("\"tool_calls\" is not a list");
        takeToolCalls(*toolCalls);
    }
}

void ModelStreamParser::takeToolCalls(const auto &toolCalls)
{
    for (const auto &call : toolCalls) {
        if (!call.is_object())
            malformed("a tool call that is not an object");
        // Servers that send each call whole in one chunk may leave the index out: such a call
        // comes after every one so far.
        long long index = calls.empty() ? 0 : calls.rbegin()->first + 1;
        if (const auto *given = member(call, "index")) {
            if (!given->is_number_integer() || given->template get<long long>() < 0 ||
                given->template get<long long>() > maximumToolIndex)
                malformed("a tool call index that is not a small whole number");
            index = given->template get<long long>();
        }
        if (!calls.contains(index) && calls.size() == static_cast<std::size_t>(maximumToolCalls))
            throw ModelError("too_many_tool_calls", "The model called more than " +
                                                        std::to_string(maximumToolCalls) +
                                                        " tools at once");
        auto &assembled = calls[index];
        if (const auto *id = stringMember(call, "id"); id && !id->empty())
            assembled.id = *id;
        const auto *function = member(call, "function");
        if (!function)
            continue;
        // The name comes whole, in the call's first piece; some servers repeat it later.
        if (const auto *name = stringMember(*function, "name"); name && assembled.name.empty())
            assembled.name = *name;
        if (const auto *arguments = member(*function, "arguments")) {
            // A few servers send the arguments as an object instead of its text.
            assembled.arguments +=
                arguments->is_string() ? arguments->template get<std::string>() : arguments->dump();
            if (assembled.arguments.size() > maximumArgumentBytes)
                throw ModelError("model_too_long",
                                 "The model wrote more than 64 KB of arguments for one tool");
        }
    }
}
