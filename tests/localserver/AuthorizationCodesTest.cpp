#include "AuthorizationCodes.h"

#include <gtest/gtest.h>
#include <set>

namespace {

class AuthorizationCodesTest : public ::testing::Test
{
protected:
    std::chrono::system_clock::time_point now = std::chrono::system_clock::now();
    AuthorizationCodes codes{[this] { return now; }};
    const AuthorizationGrant grant{"client", "vessa-mac://callback", "user_1", "challenge"};
};

TEST_F(AuthorizationCodesTest, CodeIsTakenOnce)
{
    const auto code = codes.issue(grant);

    const auto taken = codes.take(code);
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->userId, "user_1");
    EXPECT_EQ(taken->codeChallenge, "challenge");
    EXPECT_FALSE(codes.take(code));
    EXPECT_FALSE(codes.take("unknown"));
}

TEST_F(AuthorizationCodesTest, CodeLivesJustUnderTenMinutes)
{
    const auto early = codes.issue(grant);
    const auto late = codes.issue(grant);
    now += std::chrono::minutes(10) - std::chrono::milliseconds(1);
    EXPECT_TRUE(codes.take(early));
    now += std::chrono::milliseconds(1);
    EXPECT_FALSE(codes.take(late));
}

TEST_F(AuthorizationCodesTest, CodesAreUnguessableAndBounded)
{
    std::set<std::string> issued;
    for (std::size_t index = 0; index < AuthorizationCodes::capacity + 1; ++index)
        issued.insert(codes.issue(grant));

    EXPECT_EQ(issued.size(), AuthorizationCodes::capacity + 1);
    EXPECT_EQ(issued.begin()->size(), 43U);
    std::size_t live = 0;
    for (const auto &code : issued)
        live += codes.take(code) ? 1U : 0U;
    EXPECT_EQ(live, AuthorizationCodes::capacity);
}

} // namespace
