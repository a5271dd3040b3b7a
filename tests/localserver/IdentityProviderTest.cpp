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

// As a browser posts the page's form: from the page's own origin, which the page must not hide
// (under "no-referrer" a browser sends "Origin: null"), and as a form.
TEST_F(IdentityProviderTest, SignInPageFormIsTakenFromItsOwnOrigin)
{
    const auto page = client().Get("/user_management/authorize", authorizeItems(), {});
    auto form = authorizeItems();
    form.emplace("name", "Ann");
    form.emplace("email", "ann@example.com");
    const auto port = std::to_string(server->port());

    ASSERT_TRUE(page);
    EXPECT_EQ(page->get_header_value("Referrer-Policy"), "same-origin");
    for (const auto &origin : {"http://127.0.0.1:" + port, "http://localhost:" + port})
        EXPECT_EQ(client()
                      .Post("/user_management/authorize",
                            {{"Origin", origin}, {"Sec-Fetch-Site", "same-origin"}},
                            httplib::detail::params_to_query_str(form),
                            "application/x-www-form-urlencoded")
                      ->status,
                  302)
            << origin;
    EXPECT_EQ(error(client().Post("/user_management/authorize", {},
                                  httplib::detail::params_to_query_str(form), "text/plain")),
              "415 unsupported_media_type");
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
