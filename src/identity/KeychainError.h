#pragma once

#include <QString>
#include <cstdint>
#include <exception>
#include <string>

// The secure store's own failures. what() is the user-facing description, so screens can show it
// as it is. File system and JSON failures are not wrapped in this type; they reach callers as the
// exceptions of the layer that raised them.
class KeychainError : public std::exception
{
public:
    enum class Case
    {
        saveFailed,
        loadFailed,
        deleteFailed,
        encodingFailed,
        decodingFailed
    };

    // The status the store reports when a key has never been saved.
    static constexpr std::int32_t itemNotFoundStatus = -25300;

    static KeychainError saveFailed(std::int32_t status);
    static KeychainError loadFailed(std::int32_t status);
    static KeychainError deleteFailed(std::int32_t status);
    static KeychainError encodingFailed();
    static KeychainError decodingFailed();

    Case errorCase() const { return kind; }
    // The status code carried by the three status cases; 0 for the others.
    std::int32_t status() const { return statusCode; }
    QString errorDescription() const;
    const char *what() const noexcept override { return description.c_str(); }

    friend bool operator==(const KeychainError &a, const KeychainError &b)
    {
        return a.kind == b.kind && a.statusCode == b.statusCode;
    }

private:
    KeychainError(Case errorCase, std::int32_t status);

    Case kind;
    std::int32_t statusCode;
    std::string description;
};
