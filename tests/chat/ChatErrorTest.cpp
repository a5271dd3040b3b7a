#include "chat/ChatError.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>

namespace {

class ChatErrorDescription : public testing::TestWithParam<std::pair<ChatError, std::string>>
{};

} // namespace

TEST_P(ChatErrorDescription, IsTheUserFacingText)
{
    const auto &[error, description] = GetParam();
    EXPECT_EQ(error.what(), description);
    EXPECT_EQ(error.errorDescription().toStdString(), description);
}

INSTANTIATE_TEST_SUITE_P(
    ChatError, ChatErrorDescription,
    testing::Values(
        std::pair{ChatError::apiError(401), std::string("API error (status: 401)")},
        std::pair{ChatError::apiError(201), std::string("API error (status: 201)")},
        std::pair{ChatError::invalidResponse(), std::string("Invalid response from server")},
        std::pair{ChatError::streamingError(), std::string("Error during streaming response")}));

TEST(ChatError, ApiErrorsWithDifferentStatusesDiffer)
{
    EXPECT_EQ(ChatError::apiError(500), ChatError::apiError(500));
    EXPECT_NE(ChatError::apiError(500), ChatError::apiError(502));
    EXPECT_EQ(ChatError::apiError(502).status(), 502);
}
