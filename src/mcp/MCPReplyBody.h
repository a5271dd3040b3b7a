#pragma once

#include "model/AnyCodable.h"

#include <QByteArray>
#include <QByteArrayView>

// Reads the body of an MCP server's 200 reply into the JSON-RPC object it carries, without
// touching the network. Fails with MCPError, or with nlohmann's parse_error for a body that is
// not JSON at all; nothing else escapes, whatever the server sent.
namespace MCPReplyBody {

// The reply by its content type: an event stream, plain JSON, or an empty result for an empty
// body. Logs the content type and the head of the body.
AnyCodable::Object read(QByteArrayView contentType, const QByteArray &body);

// The JSON-RPC reply carried by an event-stream body. Each event is read on its own, and the
// first whose data is a reply (a "result" or an "error") is returned: notifications may come
// before it.
AnyCodable::Object decodeEventStream(const QByteArray &body);

} // namespace MCPReplyBody
