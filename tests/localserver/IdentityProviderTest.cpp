#include "IdentityProvider.h"

#include "LocalServerFixture.h"

namespace {

class IdentityProviderTest : public LocalServerFixture
{};

TEST_F(IdentityProviderTest, SignInPageOffersTheDemoUserAndCarriesTheAuthorizeItems)
{
    auto items = authorizeItems();
    items.erase("state");
    items.emplace("state", "<script>\"x\"</script>");
    const auto page = client().Get("/user_management/authorize?" + query(items));

    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("<title>Sign in to Vessa (local)</title>"), std::string::npos);
    EXPECT_NE(page->body.find("value=\"Alex Morgan\""), std::string::npos);
    EXPECT_NE(page->body.find("value=\"alex@example.com\""), std::string::npos);
    EXPECT_NE(page->body.find(std::string("value=\"") + challenge + "\""), std::string::npos);
    EXPECT_NE(page->body.find(">Continue</button>"), std::string::npos);
    EXPECT_EQ(page->body.find("<script>"), std::string::npos);
    EXPECT_NE(page->body.find("&lt;script&gt;&quot;x&quot;"), std::string::npos);
}

TEST_F(IdentityProviderTest, BadAuthorizeItemsAreRefusedWithJson)
{
    const std::vector<std::pair<std::string, std::string>> cases{
        {"client_id", "client_OTHER"},      {"redirect_uri", "https://evil.example/callback"},
        {"response_type", "token"},         {"provider", "google"},
        {"code_challenge_method", "plain"}, {"code_challenge", "short"},
        {"state", std::string(2000, 's')},
    };
    for (const auto &[name, value] : cases) {
        auto items = authorizeItems();
        items.erase(name);
        items.emplace(name, value);
        for (const auto &method : {"GET", "POST"}) {
            SCOPED_TRACE(name + " " + method);
            const auto result = std::string(method) == "GET"
                                    ? client().Get("/user_management/authorize?" + query(items))
                                    : client().Post("/user_management/authorize", items);
            ASSERT_TRUE(result);
            EXPECT_EQ(result->status, 400);
            EXPECT_TRUE(json(result)["code"].is_string());
        }
    }
}

TEST_F(IdentityProviderTest, FormRedirectsToTheAppWithCodeAndState)
{
    auto form = authorizeItems();
    form.emplace("name", "Ann Lee");
    form.emplace("email", "ann@example.com");
    const auto result = client().Post("/user_management/authorize", form);

    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 302);
    const auto location = result->get_header_value("Location");
    EXPECT_TRUE(location.starts_with("vessa-mac://callback?code=")) << location;
    EXPECT_TRUE(location.ends_with("&state=state-1")) << location;
}

TEST_F(IdentityProviderTest, FormRefusesMissingNameOrEmail)
{
    for (const auto &[name, email] : std::vector<std::pair<std::string, std::string>>{
             {"", "a@example.com"}, {"Ann", "not-an-address"}, {"Ann", "a@b@c"}, {"A\nB", "a@b"}}) {
        auto form = authorizeItems();
        form.emplace("name", name);
        form.emplace("email", email);
        const auto result = client().Post("/user_management/authorize", form);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 400) << name << " " << email;
    }
}

TEST_F(IdentityProviderTest, CodeBuysUserAndTokensOnce)
{
    const auto code = authorize("ann@example.com", "Ann Lee");
    const auto first = exchange(tokenRequest(code));
    const auto second = exchange(tokenRequest(code));

    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->status, 200);
    const auto body = json(first);
    EXPECT_EQ(body["user"]["id"], IdentityProvider::userIdFor("ann@example.com"));
    EXPECT_EQ(body["user"]["email"], "ann@example.com");
    EXPECT_EQ(body["user"]["first_name"], "Ann");
    EXPECT_EQ(body["user"]["last_name"], "Lee");
    EXPECT_TRUE(body["access_token"].is_string());
    EXPECT_TRUE(body["refresh_token"].is_string());
    EXPECT_EQ(second->status, 400);
    EXPECT_EQ(json(second)["code"], "invalid_grant");
}

TEST_F(IdentityProviderTest, SameEmailIsSameUserAndAnySecretIsAccepted)
{
    auto request = tokenRequest(authorize("Ann@Example.com"));
    request["client_secret"] = "sk_anything";
    const auto result = exchange(request);

    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_EQ(json(result)["user"]["id"], IdentityProvider::userIdFor("ann@example.com"));
}

TEST_F(IdentityProviderTest, CodeExpiresAfterTenMinutes)
{
    const auto fresh = authorize();
    const auto stale = authorize();
    advanceClock(std::chrono::seconds(599));
    EXPECT_EQ(exchange(tokenRequest(fresh))->status, 200);
    advanceClock(std::chrono::seconds(1));
    const auto expired = exchange(tokenRequest(stale));
    EXPECT_EQ(expired->status, 400);
    EXPECT_EQ(json(expired)["code"], "invalid_grant");
}

TEST_F(IdentityProviderTest, VerifierMustMatchTheChallenge)
{
    auto wrong = tokenRequest(authorize());
    wrong["code_verifier"] = std::string(43, 'a');
    auto missing = tokenRequest(authorize());
    missing.erase("code_verifier");

    EXPECT_EQ(exchange(wrong)->status, 400);
    EXPECT_EQ(exchange(missing)->status, 400);
}

TEST_F(IdentityProviderTest, SignInWithoutChallengeNeedsNoVerifier)
{
    auto form = authorizeItems();
    form.erase("code_challenge");
    form.erase("code_challenge_method");
    form.emplace("name", "Ann");
    form.emplace("email", "ann@example.com");
    const auto location =
        client().Post("/user_management/authorize", form)->get_header_value("Location");
    auto request = tokenRequest(location.substr(location.find("code=") + 5,
                                                location.find('&') - location.find("code=") - 5));
    request.erase("code_verifier");

    const auto result = exchange(request);
    EXPECT_EQ(result->status, 200);
    EXPECT_FALSE(json(result)["user"].contains("last_name") &&
                 json(result)["user"]["last_name"].is_string());
}

TEST_F(IdentityProviderTest, BadTokenRequestsGetTheirStatusAndCode)
{
    const auto code = authorize();
    struct Case
    {
        Json body;
        int status;
        const char *code;
    };
    const std::vector<Case> cases{
        {{{"grant_type", "password"}, {"client_id", clientId}, {"code", code}},
         400,
         "unsupported_grant_type"},
        {{{"grant_type", "authorization_code"}, {"client_id", "client_X"}, {"code", code}},
         401,
         "invalid_client"},
        {{{"grant_type", "authorization_code"}, {"client_id", clientId}}, 400, "invalid_request"},
        {{{"grant_type", "authorization_code"}, {"client_id", clientId}, {"code", 42}},
         400,
         "invalid_request"},
        {{{"grant_type", "authorization_code"}, {"client_id", clientId}, {"code", "unknown"}},
         400,
         "invalid_grant"},
        {Json::array(), 400, "invalid_request"},
    };
    for (const auto &testCase : cases) {
        const auto result = exchange(testCase.body);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, testCase.status) << testCase.body.dump();
        EXPECT_EQ(json(result)["code"], testCase.code) << testCase.body.dump();
    }
    const auto malformed =
        client().Post("/user_management/authenticate", "{\"grant_type\":", "application/json");
    EXPECT_EQ(malformed->status, 400);
    EXPECT_EQ(json(malformed)["code"], "invalid_json");
}

} // namespace
