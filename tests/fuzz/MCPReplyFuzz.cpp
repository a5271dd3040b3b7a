// Arbitrary bytes as the body of an MCP server's event-stream reply: split into events, each
// event's payload parsed as JSON and read as a tool listing and a tool result. A hostile or broken
// server must never crash the client; every failure is an exception the service reports.
#include "mcp/MCPResponseParser.h"
#include "mcp/MCPTool.h"
#include "mcp/MCPToolResult.h"
#include "model/AnyCodable.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace {

void readReply(const std::string &payload)
{
    try {
        const AnyCodable decoded = AnyCodable::decode(nlohmann::ordered_json::parse(payload));
        const auto *object = std::get_if<AnyCodable::Object>(&decoded.value());
        if (!object)
            return;
        for (const auto &tool : MCPResponseParser::extractTools(*object)) {
            if (const auto parsed = MCPTool::fromJSON(tool)) {
                parsed->toAnthropicTool();
                parsed->toOpenAITool();
            }
        }
        MCPResponseParser::extractError(*object);
        if (const auto result = MCPResponseParser::extractResult(*object))
            MCPToolResult::fromJSON(*result).text();
    } catch (const std::exception &) {
        // Malformed JSON and values nested too deeply fail here, as they do in the service.
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view body(reinterpret_cast<const char *>(data), size);
    for (const std::string &payload : MCPResponseParser::eventPayloads(body))
        readReply(payload);
    readReply(MCPResponseParser::parseSSEResponse(body));
    return 0;
}
