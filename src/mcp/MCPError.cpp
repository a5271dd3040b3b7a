#include "mcp/MCPError.h"

#include <utility>

MCPError::MCPError(Case errorCase, int status, std::string text)
    : kind(errorCase)
    , statusCode(status)
    , description(std::move(text))
{}

MCPError MCPError::requestFailed(int status)
{
    return {Case::requestFailed, status,
            "MCP request failed with status " + std::to_string(status)};
}

MCPError MCPError::networkError(std::string description)
{
    return {Case::networkError, 0, "Network error: " + description};
}

MCPError MCPError::notConfigured()
{
    return {Case::notConfigured, 0, "MCP service not configured with user ID"};
}

MCPError MCPError::initializationFailed()
{
    return {Case::initializationFailed, 0, "Failed to initialize MCP session"};
}

MCPError MCPError::invalidResponse()
{
    return {Case::invalidResponse, 0, "Invalid response from MCP server"};
}
