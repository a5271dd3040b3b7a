#pragma once

#include "chat/SSEParsedEvent.h"

#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

// Turns the lines of the chat stream into events: an "event: " line sets the event type, which
// stays in force for every later data line until the next "event: " line; a "data: " line
// holding a JSON object becomes one event. Every other line is skipped.
//
// The consumer ends the sequence by requesting a stop on the source of the token it passed in;
// the reader may run on another thread than the consumer.
class SSELineReader
{
public:
    explicit SSELineReader(std::stop_token consumerStop = {});

    // The event a line carries; none for a line that carries no event, and for every line once
    // the consumer has stopped.
    std::optional<SSEParsedEvent> read(std::string_view line);

    // Whether the consumer has stopped: the caller should stop reading the body.
    bool isStopped() const;

private:
    std::stop_token consumerStop;
    std::optional<std::string> currentEventType;
};
