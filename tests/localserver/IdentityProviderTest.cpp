#include "LocalServerFixture.h"

namespace {

class IdentityProviderTest : public LocalServerFixture
{};

TEST_F(IdentityProviderTest, SignInPageEscapesWhatItCarries)
{
    auto items = authorizeItems();
    items.erase("state");
    items.emplace("state", "<script>\"x\"</script>");
    const auto page = client().Get("/user_management/authorize", items, {});

    ASSERT_TRUE(page);
    EXPECT_EQ(page->body.find("<script>"), std::string::npos);
    EXPECT_NE(page->body.find("&lt;script&gt;&quot;x&quot;"), std::string::npos);
}

TEST_F(IdentityProviderTest, BadAuthorizeItemsAndFormsAreRefused)
{
    for (const auto &[name, value] : std::initializer_list<std::pair<std::string, std::string>>{
             {"client_id", "client_OTHER"},
             {"redirect_uri", "https://evil.example/callback"},
             {"code_challenge_method", "plain"},
             {"state", std::string(2000, 's')},
             {"email", "a@b@c"},
             {"name", "Ann\xff"}}) {
        auto form = authorizeItems();
        form.emplace("name", "Ann");
        form.emplace("email", "ann@example.com");
        form.erase(name);
        form.emplace(name, value);
        EXPECT_EQ(client().Post("/user_management/authorize", form)->status, 400) << name;
    }
}

TEST_F(IdentityProviderTest, CodeBuysTokensOnceWithinTenMinutesAndOnlyWithItsVerifier)
{
    const auto code = authorize();
    const auto stale = authorize();
    auto wrong = tokenRequest(authorize());
    wrong["code_verifier"] = std::string(43, 'a');
    auto otherClient = tokenRequest(authorize());
    otherClient["client_id"] = "client_X";
    clockOffset += 599;

    EXPECT_EQ(exchange(tokenRequest(code))->status, 200);
    EXPECT_EQ(error(exchange(tokenRequest(code))), "400 invalid_grant");
    EXPECT_EQ(error(exchange(wrong)), "400 invalid_grant");
    EXPECT_EQ(error(exchange(otherClient)), "401 invalid_client");
    EXPECT_EQ(error(exchange(Json::array())), "400 invalid_request");
    clockOffset += 1;
    EXPECT_EQ(error(exchange(tokenRequest(stale))), "400 invalid_grant");
}

} // namespace
