#include "chat/SSELineReader.h"

#include "chat/SSEEventParser.h"

#include <utility>

SSELineReader::SSELineReader(std::stop_token stop)
    : consumerStop(std::move(stop))
{}

std::optional<SSEParsedEvent> SSELineReader::read(std::string_view line)
{
    if (isStopped())
        return std::nullopt;
    if (const auto eventType = SSEEventParser::parseEventType(line)) {
        currentEventType = *eventType;
        return std::nullopt;
    }
    if (auto object = SSEEventParser::parseDataLine(line))
        return SSEParsedEvent{currentEventType, std::move(*object)};
    return std::nullopt;
}

bool SSELineReader::isStopped() const
{
    return consumerStop.stop_requested();
}
