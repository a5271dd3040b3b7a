#pragma once

#include <nlohmann/json.hpp>
#include <string>

// The event-stream framing shared by the chat stream and MCP replies.
namespace ServerSentEvents {

// "event: NAME", "data: " with the compact JSON, and the blank line that ends the event.
std::string format(const std::string &event, const nlohmann::ordered_json &data);

} // namespace ServerSentEvents
