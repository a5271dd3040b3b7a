#pragma once

#include "model/AnyCodable.h"

#include <optional>
#include <string>

// A tool as an MCP server describes it, and the two tool-definition shapes that language-model
// APIs take.
struct MCPTool
{
    std::string name;
    std::optional<std::string> description;
    // The JSON Schema of the tool's arguments.
    std::optional<AnyCodable::Object> inputSchema;

    // None when the object has no text "name"; a description or schema of the wrong kind is
    // left out.
    static std::optional<MCPTool> fromJSON(const AnyCodable::Object &object);
    // Builds the object a server would send (the optional parts only when present) and reads it.
    static std::optional<MCPTool>
    create(std::string name, std::optional<std::string> description = std::nullopt,
           std::optional<AnyCodable::Object> inputSchema = std::nullopt);

    // "name", "description", "input_schema".
    AnyCodable::Object toAnthropicTool() const;
    // "type": "function", "name", "description", "parameters", all at the top level.
    AnyCodable::Object toOpenAITool() const;

    friend bool operator==(const MCPTool &a, const MCPTool &b);

private:
    std::string descriptionOrDefault() const;
    AnyCodable::Object schemaOrDefault() const;
};
