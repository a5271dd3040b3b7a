#include "model/User.h"

#include <gtest/gtest.h>
#include <string>

namespace {

User decodeText(const std::string &text)
{
    return nlohmann::ordered_json::parse(text).get<User>();
}

} // namespace

TEST(User, StoredRecordOmitsAbsentNamesAndRoundTrips)
{
    const User bare{.id = "user_01", .email = "ann@example.com", .firstName = {}, .lastName = {}};
    EXPECT_EQ(nlohmann::ordered_json(bare).dump(), R"({"id":"user_01","email":"ann@example.com"})");
    EXPECT_EQ(decodeText(nlohmann::ordered_json(bare).dump()), bare);

    const User named{
        .id = "user_02", .email = "bo@example.com", .firstName = "Bo", .lastName = "Ek"};
    EXPECT_EQ(nlohmann::ordered_json(named).dump(),
              R"({"id":"user_02","email":"bo@example.com","firstName":"Bo","lastName":"Ek"})");
    EXPECT_EQ(decodeText(nlohmann::ordered_json(named).dump()), named);
}

TEST(User, NullNamesDecodeAsAbsentAndMissingRequiredKeysFail)
{
    const User user = decodeText(R"({"email":"a@b.c","id":"u","firstName":null,"lastName":"L"})");
    EXPECT_EQ(user.firstName, std::nullopt);
    EXPECT_EQ(user.lastName, "L");

    EXPECT_THROW(decodeText(R"({"id":"u"})"), nlohmann::json::out_of_range);
    EXPECT_THROW(decodeText(R"({"id":7,"email":"a@b.c"})"), nlohmann::json::type_error);
    EXPECT_THROW(decodeText(R"({"id":"u","email":"a@b.c","firstName":1})"),
                 nlohmann::json::type_error);
}
