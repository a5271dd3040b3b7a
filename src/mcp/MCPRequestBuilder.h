#pragma once

#include "model/AnyCodable.h"

#include <cstdint>
#include <optional>
#include <string>

// Builds the JSON-RPC 2.0 messages of the MCP client as objects whose keys are in wire order,
// ready to be serialised. Nothing here touches the network.
namespace MCPRequestBuilder {

inline constexpr char protocolVersion[] = "2025-03-26";
inline constexpr char clientName[] = "vessa-mac";
inline constexpr char clientVersion[] = "1.0.0";

// The current time in whole milliseconds since the Unix epoch: unique enough to pair a reply with
// its request, and readable in a server's log.
std::int64_t timestampId();

// "jsonrpc", "id" (the caller's, or timestampId()), "method", and "params" when given.
AnyCodable::Object buildRequest(const std::string &method,
                                std::optional<AnyCodable::Object> params = std::nullopt,
                                std::optional<std::int64_t> id = std::nullopt);

AnyCodable::Object buildInitializeRequest(const std::string &protocol = protocolVersion,
                                          const std::string &client = clientName,
                                          const std::string &release = clientVersion);

// A notification: exactly "jsonrpc" and "method", no id.
AnyCodable::Object buildInitializedNotification();

AnyCodable::Object buildListToolsRequest();

// The params of a tools/call: "name", then "arguments".
AnyCodable::Object buildCallToolParams(const std::string &name, AnyCodable::Object arguments);

AnyCodable::Object buildCallToolRequest(const std::string &name, AnyCodable::Object arguments);

} // namespace MCPRequestBuilder
