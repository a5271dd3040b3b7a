#pragma once

#include "model/AnyCodable.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Picks apart the replies of an MCP server without touching the network. A reply is a JSON
// object; members of the wrong kind count as missing.
namespace MCPResponseParser {

// The payload of every "data:" line of an event-stream body, trimmed of spaces and tabs and
// joined without separators; empty when no line qualifies. Event boundaries are not looked at.
std::string parseSSEResponse(std::string_view body);

// The joined "data:" payload of each event of an event-stream body, in order. Events end at a
// blank line; events without data are left out. A server may send notifications (progress, log
// messages) as events before the one that holds the reply, so each has to be read on its own.
std::vector<std::string> eventPayloads(std::string_view body);

// The objects under "result" then "tools"; empty when either is missing or of another kind, or
// when the list holds anything but objects.
std::vector<AnyCodable::Object> extractTools(const AnyCodable::Object &response);

// The text under "error" then "message".
std::optional<std::string> extractError(const AnyCodable::Object &response);

// The object under "result".
std::optional<AnyCodable::Object> extractResult(const AnyCodable::Object &response);

// Typed member access shared by the records that read replies: null when the member is missing
// or of another kind.
const AnyCodable::Object *objectMember(const AnyCodable::Object &object, const std::string &key);
const std::string *textMember(const AnyCodable::Object &object, const std::string &key);
// Empty when the member is missing, is not a list, or holds anything but objects.
std::vector<AnyCodable::Object> objectListMember(const AnyCodable::Object &object,
                                                 const std::string &key);

} // namespace MCPResponseParser
