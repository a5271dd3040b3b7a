#include "mcp/MCPError.h"

#include <gtest/gtest.h>
#include <string>

TEST(MCPError, DescriptionsAreTheUserFacingTexts)
{
    const std::pair<MCPError, std::string> cases[] = {
        {MCPError::requestFailed(404), "MCP request failed with status 404"},
        {MCPError::networkError("The request timed out."), "Network error: The request timed out."},
        {MCPError::notConfigured(), "MCP service not configured with user ID"},
        {MCPError::initializationFailed(), "Failed to initialize MCP session"},
        {MCPError::invalidResponse(), "Invalid response from MCP server"},
    };
    for (const auto &[error, description] : cases)
        EXPECT_EQ(error.what(), description);
    EXPECT_EQ(MCPError::requestFailed(503).status(), 503);
    EXPECT_EQ(MCPError::requestFailed(503).errorCase(), MCPError::Case::requestFailed);
}
