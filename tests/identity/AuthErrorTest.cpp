#include "identity/AuthError.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>

TEST(AuthError, EveryCaseDescribesItselfForTheUser)
{
    using Case = AuthError::Case;
    const std::pair<Case, std::string> cases[] = {
        {Case::networkError, "Network error occurred"},
        {Case::invalidAuthURL, "Invalid authentication URL"},
        {Case::invalidCallback, "Invalid callback from authentication"},
        {Case::tokenExchangeFailed, "Failed to exchange authentication code"},
        {Case::notAuthenticated, "User is not authenticated"},
    };
    for (const auto &[errorCase, description] : cases) {
        const AuthError error(errorCase);
        EXPECT_EQ(error.what(), description);
        EXPECT_EQ(error.errorCase(), errorCase);
    }
}
