#include "model/User.h"

#include <gtest/gtest.h>

TEST(User, StoredRecordOmitsAbsentNamesRoundTripsAndRefusesMalformedOnes)
{
    const User user{.id = "user_01", .email = "ann@example.com", .firstName = {}, .lastName = "L"};
    EXPECT_EQ(nlohmann::ordered_json(user).dump(),
              R"({"id":"user_01","email":"ann@example.com","lastName":"L"})");
    for (const auto *text : {R"({"email":"ann@example.com","id":"user_01","lastName":"L"})",
                             R"({"id":"user_01","email":"ann@example.com","firstName":null,)"
                             R"("lastName":"L"})"})
        EXPECT_EQ(nlohmann::ordered_json::parse(text).get<User>(), user) << text;
    for (const auto *text : {R"({"id":"u"})", R"({"id":7,"email":"a@b.c"})",
                             R"({"id":"u","email":"a@b.c","firstName":1})", "[]"})
        EXPECT_THROW(nlohmann::ordered_json::parse(text).get<User>(), nlohmann::json::exception)
            << text;
}
