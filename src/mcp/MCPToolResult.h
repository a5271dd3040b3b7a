#pragma once

#include "mcp/MCPContent.h"
#include "model/AnyCodable.h"

#include <optional>
#include <string>
#include <vector>

// What a tool call returned: its content blocks, whether the tool reported a failure, and the
// machine-readable value some tools add.
struct MCPToolResult
{
    std::vector<MCPContent> content;
    bool isError = false;
    std::optional<AnyCodable> structuredContent;

    // Reads the object under "result" of a tools/call reply. Content items without text "type"
    // and text "text" (an image, say) are skipped; nothing here fails.
    static MCPToolResult fromJSON(const AnyCodable::Object &result);

    // The structured value as compact JSON when there is one that serialises; otherwise the texts
    // of the content items, one per line.
    std::string text() const;

    friend bool operator==(const MCPToolResult &, const MCPToolResult &) = default;
};
