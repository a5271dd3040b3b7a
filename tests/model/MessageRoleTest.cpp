#include "model/MessageRole.h"

#include "model/DecodingError.h"

#include <gtest/gtest.h>

TEST(MessageRole, RawValuesNameTheRoles)
{
    EXPECT_EQ(rawValue(MessageRole::user), "user");
    EXPECT_EQ(rawValue(MessageRole::assistant), "assistant");
}

TEST(MessageRole, OnlyTheExactRawValuesMakeARole)
{
    EXPECT_EQ(messageRoleFromRawValue("user"), MessageRole::user);
    EXPECT_EQ(messageRoleFromRawValue("assistant"), MessageRole::assistant);
    for (const char *other : {"system", "User", "user ", "", "tool"})
        EXPECT_FALSE(messageRoleFromRawValue(other).has_value()) << other;
}

TEST(MessageRole, JSONFormIsTheRawValueString)
{
    EXPECT_EQ(nlohmann::ordered_json(MessageRole::assistant).dump(), R"("assistant")");
    EXPECT_EQ(nlohmann::ordered_json("user").get<MessageRole>(), MessageRole::user);
}

TEST(MessageRole, DecodingSystemFails)
{
    EXPECT_THROW(nlohmann::ordered_json("system").get<MessageRole>(), DecodingError);
    EXPECT_THROW(nlohmann::ordered_json(1).get<MessageRole>(), nlohmann::ordered_json::type_error);
}
