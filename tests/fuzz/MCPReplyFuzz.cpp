// Arbitrary bytes as the body of an MCP server's reply, read as an event stream and as plain
// JSON, then as a tool listing and a tool result. A hostile or broken server must never crash the
// client, and every failure is one the service promises: MCPError, or the parser's parse_error
// for a body that is not JSON. Anything else escapes and stops the fuzzer.
#include "mcp/MCPError.h"
#include "mcp/MCPReplyBody.h"
#include "mcp/MCPResponseParser.h"
#include "mcp/MCPTool.h"
#include "mcp/MCPToolResult.h"
#include "model/AnyCodable.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>

namespace {

void readTools(const AnyCodable::Object &reply)
{
    for (const auto &tool : MCPResponseParser::extractTools(reply)) {
        if (const auto parsed = MCPTool::fromJSON(tool)) {
            parsed->toAnthropicTool();
            parsed->toOpenAITool();
        }
    }
    MCPResponseParser::extractError(reply);
    if (const auto result = MCPResponseParser::extractResult(reply))
        MCPToolResult::fromJSON(*result).text();
}

void readReply(const char *contentType, const QByteArray &body)
{
    try {
        readTools(MCPReplyBody::read(contentType, body));
    } catch (const MCPError &) {
    } catch (const nlohmann::json::parse_error &) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    readReply("text/event-stream", body);
    readReply("application/json", body);
    return 0;
}
