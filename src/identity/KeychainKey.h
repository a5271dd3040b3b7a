#pragma once

#include <array>
#include <optional>
#include <string_view>

// The fixed set of values the secure store keeps. Each key's raw value is also its file name, so
// renaming a case would orphan the users' stored data.
enum class KeychainKey
{
    accessToken,
    refreshToken,
    anthropicApiKey,
    userData,
    aiName,
    userPreferences,
    recentMemories,
};

// Every key in declaration order, which is also the order sign-out deletes them in.
inline constexpr std::array allKeychainKeys = {
    KeychainKey::accessToken,    KeychainKey::refreshToken, KeychainKey::anthropicApiKey,
    KeychainKey::userData,       KeychainKey::aiName,       KeychainKey::userPreferences,
    KeychainKey::recentMemories,
};

std::string_view rawValue(KeychainKey key);
// No key for any text but the seven raw values (exact, case-sensitive).
std::optional<KeychainKey> keychainKeyFromRawValue(std::string_view text);
