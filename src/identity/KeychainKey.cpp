#include "identity/KeychainKey.h"

std::string_view rawValue(KeychainKey key)
{
    switch (key) {
    case KeychainKey::accessToken:
        return "accessToken";
    case KeychainKey::refreshToken:
        return "refreshToken";
    case KeychainKey::anthropicApiKey:
        return "anthropicApiKey";
    case KeychainKey::userData:
        return "userData";
    case KeychainKey::aiName:
        return "aiName";
    case KeychainKey::userPreferences:
        return "userPreferences";
    case KeychainKey::recentMemories:
        return "recentMemories";
    }
    return {};
}

std::optional<KeychainKey> keychainKeyFromRawValue(std::string_view text)
{
    for (KeychainKey key : allKeychainKeys) {
        if (rawValue(key) == text)
            return key;
    }
    return std::nullopt;
}
