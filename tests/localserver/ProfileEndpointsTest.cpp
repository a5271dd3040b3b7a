#include "LocalServerFixture.h"

namespace {

class ProfileEndpointsTest : public LocalServerFixture
{
protected:
    httplib::Result userInfo(const std::string &authorization)
    {
        return client().Get("/api/user/info", {{"Authorization", authorization}});
    }

    httplib::Result prompt(const std::string &items, const std::string &token = apiToken)
    {
        return client().Get("/api/v1/prompts?" + items, {{"Authorization", "Bearer " + token}});
    }
};

TEST_F(ProfileEndpointsTest, UserInfoDescribesTheSignedInUser)
{
    const auto userId = signIn();
    chat(chatBody("Log my lunch: soup, 300 kcal", userId));
    const auto result = userInfo("Bearer " + userId);

    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    const auto body = json(result);
    EXPECT_EQ(body["ai_name"], "Vessa");
    const auto &preferences = body["preferences"];
    EXPECT_EQ(preferences["personal"]["name"], "Alex Morgan");
    for (const auto *key : {"location", "goals", "preferences"})
        EXPECT_TRUE(preferences[key].is_object()) << key;
    ASSERT_EQ(preferences["available_skills"].size(), 6U);
    EXPECT_EQ(preferences["available_skills"][0]["name"], "log_meal");
    EXPECT_TRUE(preferences["available_skills"][0]["type"].is_string());
    EXPECT_TRUE(preferences["available_skills"][0]["description"].is_string());
    EXPECT_EQ(body["recent_memories"]["current_state"],
              "Today: 1 meal logged (300 kcal), 0 open todos.");
    for (const auto *key :
         {"key_learnings", "purpose_and_context", "tools_and_resources", "approach_and_patterns"})
        EXPECT_TRUE(body["recent_memories"][key].is_string()) << key;
}

TEST_F(ProfileEndpointsTest, UserInfoNeedsAKnownUser)
{
    signIn();
    for (const auto *authorization :
         {"", "Bearer ", "Bearer user_NOBODY", "Basic abc", "localdev"}) {
        const auto result = userInfo(authorization);
        EXPECT_EQ(result->status, 401) << authorization;
        EXPECT_EQ(json(result)["code"], "unauthorized");
    }
}

TEST_F(ProfileEndpointsTest, PromptsOfBothKindsNameTheUser)
{
    const auto userId = signIn();
    const auto text = prompt("type=text&workos_user_id=" + userId);
    const auto voice = prompt("type=voice&workos_user_id=" + userId);
    const auto stranger = prompt("type=text&workos_user_id=user_SOMEONE");

    ASSERT_TRUE(text && voice && stranger);
    EXPECT_EQ(text->status, 200);
    EXPECT_TRUE(json(text)["prompt"].get<std::string>().starts_with("# Vessa Assistant"));
    EXPECT_NE(json(text)["prompt"].get<std::string>().find("Alex"), std::string::npos);
    EXPECT_NE(json(text)["prompt"].get<std::string>().find("log_meal"), std::string::npos);
    EXPECT_NE(json(voice)["prompt"].get<std::string>().find("VOICE CALL BEHAVIOR"),
              std::string::npos);
    EXPECT_EQ(stranger->status, 200);
    EXPECT_EQ(json(stranger)["prompt"].get<std::string>().find("Alex"), std::string::npos);
}

TEST_F(ProfileEndpointsTest, PromptsRefuseBadTokenAndItems)
{
    EXPECT_EQ(prompt("type=text&workos_user_id=u1", "wrong")->status, 401);
    for (const auto *items : {"type=audio&workos_user_id=u1", "workos_user_id=u1", "type=text",
                              "type=text&workos_user_id="}) {
        const auto result = prompt(items);
        EXPECT_EQ(result->status, 400) << items;
        EXPECT_EQ(json(result)["code"], "invalid_request") << items;
    }
}

} // namespace
