#include "identity/AuthURLHelper.h"

#include <gtest/gtest.h>
#include <optional>
#include <utility>

TEST(AuthURLHelper, AuthorizeUrlHasExactlyTheFourItemsInOrder)
{
    const auto url =
        AuthURLHelper::buildAuthURL("https://idp.example/user_management/authorize?old=1",
                                    "client_01AB", "vessa-mac://callback", "code", "authkit");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->toString(QUrl::FullyEncoded),
              "https://idp.example/user_management/authorize?client_id=client_01AB&"
              "redirect_uri=vessa-mac://callback&response_type=code&provider=authkit");
}

TEST(AuthURLHelper, ValuesAreEncodedSoNoServerMisreadsThem)
{
    const auto url =
        AuthURLHelper::buildAuthURL("http://127.0.0.1:8787/a", "id&x=1 +y", "r#?", "code", "p%20");
    ASSERT_TRUE(url);
    EXPECT_EQ(
        url->query(QUrl::FullyEncoded),
        "client_id=id%26x%3D1%20%2By&redirect_uri=r%23%3F&response_type=code&provider=p%2520");
    EXPECT_EQ(AuthURLHelper::firstQueryItemValue(*url, "client_id"), "id&x=1 +y");
}

TEST(AuthURLHelper, BaseThatIsNotAnAbsoluteUrlGivesNothing)
{
    for (const char *base : {"", "not a url", "http://[::1", "relative/path"})
        EXPECT_FALSE(AuthURLHelper::buildAuthURL(base, "c", "r", "code", "authkit")) << base;
}

TEST(AuthURLHelper, ExtractCodeTakesTheFirstCodeItemDecoded)
{
    const std::pair<const char *, std::optional<QString>> cases[] = {
        {"vessa-mac://callback?code=abc&state=x", QStringLiteral("abc")},
        {"vessa-mac://callback?state=x&code=a%2Bb%20c&code=second", QStringLiteral("a+b c")},
        {"vessa-mac://callback?code=", QString()},
        {"vessa-mac://callback?code=a=b", QStringLiteral("a=b")},
        {"vessa-mac://callback?error=access_denied", std::nullopt},
        {"vessa-mac://callback?code&code=later", std::nullopt},
        {"vessa-mac://callback?Code=abc", std::nullopt},
        {"vessa-mac://callback", std::nullopt},
        {"vessa-mac://callback#code=abc", std::nullopt},
    };
    for (const auto &[url, code] : cases)
        EXPECT_EQ(AuthURLHelper::extractCode(QUrl(QString::fromLatin1(url))), code) << url;
    EXPECT_EQ(AuthURLHelper::extractCode(QUrl()), std::nullopt);
}

TEST(AuthURLHelper, CallbackSchemeIsComparedIgnoringCase)
{
    EXPECT_TRUE(AuthURLHelper::isValidCallback(QUrl("vessa-mac://callback?code=1"), "VESSA-MAC"));
    EXPECT_FALSE(AuthURLHelper::isValidCallback(QUrl("https://callback?code=1"), "vessa-mac"));
    EXPECT_FALSE(AuthURLHelper::isValidCallback(QUrl("callback?code=1"), "vessa-mac"));
}
