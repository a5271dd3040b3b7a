#include "chat/SSEEventParser.h"

#include "common/JsonNesting.h"

#include <cstddef>

namespace {

using Json = nlohmann::ordered_json;

constexpr std::string_view eventPrefix = "event: ";
constexpr std::string_view dataPrefix = "data: ";

// Copying, comparing and serialising a JSON value recurse once per level of nesting, and so
// does every consumer that walks a tool's input. Deeper objects are refused so that one hostile
// line cannot exhaust the stack of whoever handles the event; real events nest a few levels.
constexpr std::size_t maxNestingDepth = 512;

// Walks the members directly: going through the JSON value's own iterators costs about as much
// as all the rest of mapping a small event.
const Json *memberAt(const Json &object, std::string_view key)
{
    const auto *members = object.get_ptr<const Json::object_t *>();
    if (members == nullptr)
        return nullptr;
    for (const auto &[name, value] : *members) {
        if (name == key)
            return &value;
    }
    return nullptr;
}

const std::string *stringAt(const Json &object, std::string_view key)
{
    const Json *value = memberAt(object, key);
    return value != nullptr ? value->get_ptr<const std::string *>() : nullptr;
}

std::string compactText(const Json &value)
{
    // Parsed strings are valid UTF-8; replacing keeps an object built in code from throwing.
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string resultText(const Json &event)
{
    const Json *result = memberAt(event, "result");
    if (result == nullptr)
        return {};
    switch (result->type()) {
    case Json::value_t::string:
        return result->get_ref<const std::string &>();
    case Json::value_t::boolean:
        return result->get<bool>() ? "1" : "0";
    case Json::value_t::null:
        return "<null>";
    default:
        // Lists and objects as compact JSON, numbers in their decimal form.
        return compactText(*result);
    }
}

} // namespace

std::optional<std::string_view> SSEEventParser::parseEventType(std::string_view line)
{
    if (!line.starts_with(eventPrefix))
        return std::nullopt;
    return line.substr(eventPrefix.size());
}

std::optional<nlohmann::ordered_json> SSEEventParser::parseDataLine(std::string_view line)
{
    if (!line.starts_with(dataPrefix))
        return std::nullopt;
    const std::string_view text = line.substr(dataPrefix.size());
    if (JsonNesting::exceeds(text, maxNestingDepth))
        return std::nullopt;
    Json value = Json::parse(text, nullptr, false);
    if (!value.is_object())
        return std::nullopt;
    return value;
}

SSEEventParser::ParsedEvent SSEEventParser::parse(const nlohmann::ordered_json &event,
                                                  const std::optional<std::string> &eventType)
{
    std::string_view type;
    if (eventType)
        type = *eventType;
    else if (const std::string *named = stringAt(event, "type"))
        type = *named;

    if (type.empty())
        return Unknown{};
    if (type == "content_delta") {
        const std::string *delta = stringAt(event, "delta");
        if (delta == nullptr)
            return Unknown{};
        return ContentDelta{*delta};
    }
    if (type == "tool_use_start") {
        const std::string *id = stringAt(event, "tool_id");
        const std::string *name = stringAt(event, "tool");
        if (id == nullptr || name == nullptr)
            return Unknown{};
        const Json *input = memberAt(event, "input");
        return ToolUseStart{*id, *name,
                            input != nullptr && input->is_object() ? *input : Json::object()};
    }
    if (type == "tool_result") {
        const std::string *id = stringAt(event, "tool_id");
        if (id == nullptr)
            return Unknown{};
        const Json *isError = memberAt(event, "is_error");
        return ToolResult{*id, resultText(event),
                          isError != nullptr && isError->is_boolean() && isError->get<bool>()};
    }
    if (type == "message_complete")
        return MessageComplete{};
    if (type == "error") {
        const std::string *message = stringAt(event, "error");
        const std::string *code = stringAt(event, "code");
        return Error{message != nullptr ? *message : "Unknown error",
                     code != nullptr ? *code : "unknown"};
    }
    return Unknown{};
}
