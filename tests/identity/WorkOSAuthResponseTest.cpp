#include "identity/WorkOSAuthResponse.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

WorkOSAuthResponse decode(const char *json)
{
    return nlohmann::ordered_json::parse(json).get<WorkOSAuthResponse>();
}

} // namespace

TEST(WorkOSAuthResponse, RefreshTokenIsOptionalAndOtherMembersAreIgnored)
{
    const auto full = decode(R"({"user":{"id":"u","email":"e"},"access_token":"a",)"
                             R"("refresh_token":"r","organization_id":null})");
    EXPECT_EQ(full.accessToken, "a");
    EXPECT_EQ(full.refreshToken, "r");
    EXPECT_EQ(full.user.id, "u");
    EXPECT_FALSE(decode(R"({"user":{"id":"u","email":"e"},"access_token":"a"})").refreshToken);
}

TEST(WorkOSAuthResponse, MissingOrMistypedRequiredMembersFail)
{
    for (const char *json : {R"({"user":{"id":"u","email":"e"}})", R"({"access_token":"a"})",
                             R"({"user":{"id":"u","email":"e"},"access_token":5})",
                             R"({"user":"u","access_token":"a"})", "null"}) {
        EXPECT_THROW(decode(json), nlohmann::ordered_json::exception) << json;
    }
}
