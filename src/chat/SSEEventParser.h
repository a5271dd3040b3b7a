#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

// Maps one event of the chat stream (its type and its JSON object) to a typed chat event, and
// recognises the "event: " and "data: " lines the events arrive on. Holds no state.
class SSEEventParser
{
public:
    struct ContentDelta
    {
        std::string text;

        friend bool operator==(const ContentDelta &, const ContentDelta &) = default;
    };

    struct ToolUseStart
    {
        std::string id;
        std::string name;
        // Always an object.
        nlohmann::ordered_json input = nlohmann::ordered_json::object();

        // A tool start is identified by its id and name; the input does not take part.
        friend bool operator==(const ToolUseStart &lhs, const ToolUseStart &rhs)
        {
            return lhs.id == rhs.id && lhs.name == rhs.name;
        }
    };

    struct ToolResult
    {
        std::string id;
        std::string result;
        bool isError = false;

        friend bool operator==(const ToolResult &, const ToolResult &) = default;
    };

    struct Error
    {
        std::string message;
        std::string code;

        friend bool operator==(const Error &, const Error &) = default;
    };

    struct MessageComplete
    {
        friend bool operator==(const MessageComplete &, const MessageComplete &) = default;
    };

    struct Unknown
    {
        friend bool operator==(const Unknown &, const Unknown &) = default;
    };

    // Values of different alternatives compare unequal.
    using ParsedEvent =
        std::variant<ContentDelta, ToolUseStart, ToolResult, Error, MessageComplete, Unknown>;

    // The rest of an "event: " line, untrimmed, as a view into the line; none for any other line.
    static std::optional<std::string_view> parseEventType(std::string_view line);

    // The JSON object of a "data: " line; none if the prefix is missing or the rest is not a
    // well-formed JSON object in UTF-8.
    static std::optional<nlohmann::ordered_json> parseDataLine(std::string_view line);

    // The chat event for an object and the event type in force. Never fails: an unrecognised
    // type, or a known type that lacks a required field, gives Unknown.
    static ParsedEvent parse(const nlohmann::ordered_json &event,
                             const std::optional<std::string> &eventType);
};
