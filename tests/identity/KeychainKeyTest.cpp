#include "identity/KeychainKey.h"

#include <gtest/gtest.h>
#include <string_view>
#include <utility>

TEST(KeychainKey, RawValuesAreTheFileNamesInDeletionOrder)
{
    const std::pair<KeychainKey, std::string_view> expected[] = {
        {KeychainKey::accessToken, "accessToken"},
        {KeychainKey::refreshToken, "refreshToken"},
        {KeychainKey::anthropicApiKey, "anthropicApiKey"},
        {KeychainKey::userData, "userData"},
        {KeychainKey::aiName, "aiName"},
        {KeychainKey::userPreferences, "userPreferences"},
        {KeychainKey::recentMemories, "recentMemories"},
    };
    ASSERT_EQ(std::size(expected), allKeychainKeys.size());
    for (std::size_t i = 0; i < allKeychainKeys.size(); ++i) {
        EXPECT_EQ(allKeychainKeys[i], expected[i].first) << i;
        EXPECT_EQ(rawValue(expected[i].first), expected[i].second);
    }
}

TEST(KeychainKey, EveryRawValueMapsBackToItsKey)
{
    for (KeychainKey key : allKeychainKeys)
        EXPECT_EQ(keychainKeyFromRawValue(rawValue(key)), key) << rawValue(key);
}

TEST(KeychainKey, AnyOtherTextMapsToNoKey)
{
    using namespace std::string_view_literals;
    for (std::string_view text : {""sv, "AccessToken"sv, "accesstoken"sv, "accessToken "sv,
                                  " aiName"sv, "userData.json"sv, "idToken"sv, "aiName\0"sv})
        EXPECT_EQ(keychainKeyFromRawValue(text), std::nullopt) << text;
}
