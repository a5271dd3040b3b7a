#include "identity/AuthorizationChallenge.h"

#include "identity/AuthURLHelper.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

TEST(AuthorizationChallenge, ChallengeIsTheS256OfTheVerifier)
{
    // Expected value computed independently (Python hashlib and base64).
    EXPECT_EQ(AuthorizationChallenge::codeChallenge("dBjftJeZ4CVP-mJ92K9qDrfVbVlyw1GQ4K2x8bMsvJk"),
              "Tc6F2o-zK1MUeaY57mHctsrTQGrWSgEhjtAhcNsp2Uw");
}

TEST(AuthorizationChallenge, FreshValuesAreUnpaddedBase64UrlOfTheRightSize)
{
    const QRegularExpression base64url(QStringLiteral("^[A-Za-z0-9_-]+$"));
    const auto first = AuthorizationChallenge::generate();
    const auto second = AuthorizationChallenge::generate();
    EXPECT_EQ(first.state.size(), 43);
    EXPECT_EQ(first.codeVerifier.size(), 86);
    EXPECT_TRUE(base64url.match(first.state).hasMatch());
    EXPECT_TRUE(base64url.match(first.codeVerifier).hasMatch());
    EXPECT_NE(first.state, second.state);
    EXPECT_NE(first.codeVerifier, second.codeVerifier);
}

TEST(AuthorizationChallenge, AppendsStateAndChallengeAfterTheQuery)
{
    const AuthorizationChallenge challenge{
        QStringLiteral("st"), QStringLiteral("dBjftJeZ4CVP-mJ92K9qDrfVbVlyw1GQ4K2x8bMsvJk")};
    EXPECT_EQ(
        challenge.appliedTo(QUrl("https://idp.example/authorize?client_id=c"))
            .toString(QUrl::FullyEncoded),
        "https://idp.example/authorize?client_id=c&state=st&"
        "code_challenge=Tc6F2o-zK1MUeaY57mHctsrTQGrWSgEhjtAhcNsp2Uw&code_challenge_method=S256");
}

TEST(AuthorizationChallenge, OnlyTheSentStateMatches)
{
    const AuthorizationChallenge challenge{QStringLiteral("a-b_c"), QStringLiteral("v")};
    EXPECT_TRUE(challenge.matchesState(QUrl("vessa-mac://callback?code=1&state=a-b_c")));
    EXPECT_TRUE(challenge.matchesState(QUrl("vessa-mac://callback?state=a%2Db_c&state=x")));
    EXPECT_FALSE(challenge.matchesState(QUrl("vessa-mac://callback?state=x&state=a-b_c")));
    EXPECT_FALSE(challenge.matchesState(QUrl("vessa-mac://callback?state=")));
    EXPECT_FALSE(challenge.matchesState(QUrl("vessa-mac://callback?code=1")));
}
