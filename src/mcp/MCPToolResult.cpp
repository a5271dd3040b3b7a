#include "mcp/MCPToolResult.h"

#include "mcp/MCPResponseParser.h"

#include <nlohmann/json.hpp>

MCPToolResult MCPToolResult::fromJSON(const AnyCodable::Object &result)
{
    MCPToolResult toolResult;
    for (const auto &item : MCPResponseParser::objectListMember(result, "content")) {
        const auto *type = MCPResponseParser::textMember(item, "type");
        const auto *text = MCPResponseParser::textMember(item, "text");
        if (type && text)
            toolResult.content.push_back({*type, *text});
    }
    if (const auto found = result.find("isError"); found != result.end()) {
        if (const auto *flag = std::get_if<bool>(&found->second.value()))
            toolResult.isError = *flag;
    }
    if (const auto found = result.find("structuredContent"); found != result.end())
        toolResult.structuredContent.emplace(found->second);
    return toolResult;
}

std::string MCPToolResult::text() const
{
    if (structuredContent) {
        try {
            return structuredContent->encode().dump();
        } catch (const nlohmann::json::exception &) {
            // Text that is not UTF-8 has no JSON form; the content items still say something.
        }
    }
    std::string joined;
    for (const auto &item : content) {
        if (&item != &content.front())
            joined += '\n';
        joined += item.text;
    }
    return joined;
}
