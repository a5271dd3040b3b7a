#include "mcp/MCPTool.h"

#include "mcp/MCPResponseParser.h"

#include <utility>

std::optional<MCPTool> MCPTool::fromJSON(const AnyCodable::Object &object)
{
    const auto *name = MCPResponseParser::textMember(object, "name");
    if (!name)
        return std::nullopt;
    MCPTool tool{*name, std::nullopt, std::nullopt};
    if (const auto *description = MCPResponseParser::textMember(object, "description"))
        tool.description.emplace(*description);
    if (const auto *schema = MCPResponseParser::objectMember(object, "inputSchema"))
        tool.inputSchema.emplace(*schema);
    return tool;
}

std::optional<MCPTool> MCPTool::create(std::string name, std::optional<std::string> description,
                                       std::optional<AnyCodable::Object> inputSchema)
{
    AnyCodable::Object object{{"name", std::move(name)}};
    if (description)
        object.emplace("description", std::move(*description));
    if (inputSchema)
        object.emplace("inputSchema", std::move(*inputSchema));
    return fromJSON(object);
}

AnyCodable::Object MCPTool::toAnthropicTool() const
{
    return {
        {"name", name},
        {"description", descriptionOrDefault()},
        {"input_schema", schemaOrDefault()},
    };
}

AnyCodable::Object MCPTool::toOpenAITool() const
{
    return {
        {"type", "function"},
        {"name", name},
        {"description", descriptionOrDefault()},
        {"parameters", schemaOrDefault()},
    };
}

bool operator==(const MCPTool &a, const MCPTool &b)
{
    const bool sameSchema = a.inputSchema.has_value() == b.inputSchema.has_value() &&
                            (!a.inputSchema || AnyCodable::equal(*a.inputSchema, *b.inputSchema));
    return a.name == b.name && a.description == b.description && sameSchema;
}

std::string MCPTool::descriptionOrDefault() const
{
    return description.value_or("Tool: " + name);
}

AnyCodable::Object MCPTool::schemaOrDefault() const
{
    if (inputSchema)
        return *inputSchema;
    return {
        {"type", "object"},
        {"properties", AnyCodable::Object{}},
        {"required", AnyCodable::List{}},
    };
}
