#include "identity/KeychainError.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>

struct DescriptionCase
{
    KeychainError error;
    std::string description;
};

void PrintTo(const DescriptionCase &c, std::ostream *out)
{
    *out << c.description;
}

class KeychainErrorDescriptions : public ::testing::TestWithParam<DescriptionCase>
{};

INSTANTIATE_TEST_SUITE_P(
    KeychainError, KeychainErrorDescriptions,
    ::testing::Values(
        DescriptionCase{KeychainError::loadFailed(-25300), "Failed to load (status: -25300)"},
        DescriptionCase{KeychainError::saveFailed(-34018), "Failed to save (status: -34018)"},
        DescriptionCase{KeychainError::deleteFailed(0), "Failed to delete (status: 0)"},
        DescriptionCase{KeychainError::loadFailed(2147483647),
                        "Failed to load (status: 2147483647)"},
        DescriptionCase{KeychainError::saveFailed(-2147483647 - 1),
                        "Failed to save (status: -2147483648)"},
        DescriptionCase{KeychainError::encodingFailed(), "Failed to encode data"},
        DescriptionCase{KeychainError::decodingFailed(), "Failed to decode data"}));

TEST_P(KeychainErrorDescriptions, WhatAndErrorDescriptionAreTheUserFacingText)
{
    const auto &c = GetParam();
    EXPECT_EQ(c.error.what(), c.description);
    EXPECT_EQ(c.error.errorDescription().toStdString(), c.description);
}

TEST(KeychainError, CasesWithTheSameStatusAreDistinct)
{
    EXPECT_EQ(KeychainError::loadFailed(-25300), KeychainError::loadFailed(-25300));
    EXPECT_FALSE(KeychainError::loadFailed(-25300) == KeychainError::saveFailed(-25300));
    EXPECT_FALSE(KeychainError::loadFailed(-25300) == KeychainError::loadFailed(-25299));
    EXPECT_FALSE(KeychainError::encodingFailed() == KeychainError::decodingFailed());
    EXPECT_EQ(KeychainError::deleteFailed(7).errorCase(), KeychainError::Case::deleteFailed);
    EXPECT_EQ(KeychainError::deleteFailed(7).status(), 7);
}
