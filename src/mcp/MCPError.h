#pragma once

#include <exception>
#include <string>

// The MCP client's own failures. what() is the user-facing description. Transport failures and
// JSON parse failures are not wrapped in this type unless a rule says so (a transport failure
// that outlasts the retries becomes networkError).
class MCPError : public std::exception
{
public:
    enum class Case
    {
        requestFailed,
        networkError,
        notConfigured,
        initializationFailed,
        invalidResponse
    };

    static MCPError requestFailed(int status);
    static MCPError networkError(std::string description);
    static MCPError notConfigured();
    static MCPError initializationFailed();
    static MCPError invalidResponse();

    Case errorCase() const { return kind; }
    // The HTTP status of requestFailed; 0 for the other cases.
    int status() const { return statusCode; }
    const char *what() const noexcept override { return description.c_str(); }

    friend bool operator==(const MCPError &a, const MCPError &b)
    {
        return a.kind == b.kind && a.description == b.description;
    }

private:
    MCPError(Case errorCase, int status, std::string text);

    Case kind;
    int statusCode;
    std::string description;
};
