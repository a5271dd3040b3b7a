#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

// One data line of the chat stream paired with the event type in force when it arrived.
struct SSEParsedEvent
{
    // The value of the last "event: " line before the data line; absent if there was none.
    std::optional<std::string> eventType;
    // The JSON object the data line carried; always an object.
    nlohmann::ordered_json json;

    SSEParsedEvent(std::optional<std::string> type, nlohmann::ordered_json object);
    SSEParsedEvent(const SSEParsedEvent &) = default;
    SSEParsedEvent(SSEParsedEvent &&) noexcept = default;
    SSEParsedEvent &operator=(const SSEParsedEvent &) = default;
    SSEParsedEvent &operator=(SSEParsedEvent &&) noexcept = default;
    ~SSEParsedEvent();

    friend bool operator==(const SSEParsedEvent &, const SSEParsedEvent &) = default;
};
