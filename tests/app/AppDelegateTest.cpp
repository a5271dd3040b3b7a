#include "app/AppDelegate.h"

#include "SignInFixture.h"
#include "identity/KeychainKey.h"
#include "identity/WebAuthSessionError.h"
#include "support/TaskAwaiting.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <utility>

namespace {

class AppDelegateTest : public SignInFixture
{
protected:
    int serviceLookups = 0;
    AppDelegate delegate{[this]() -> AuthService & {
        ++serviceLookups;
        return auth;
    }};
};

} // namespace

TEST_F(AppDelegateTest, FirstCallbackCompletesTheSignInAndLaterOnesAreIgnored)
{
    QCoro::Task<> signIn = beginSignIn();

    delegate.openURLs({QUrl(QStringLiteral("https://example.com/callback?code=web")),
                       callbackURL(QStringLiteral("first")),
                       callbackURL(QStringLiteral("second"))});
    awaitTask(std::move(signIn));

    EXPECT_TRUE(auth.isAuthenticated());
    EXPECT_EQ(awaitTask(store.loadString(KeychainKey::accessToken)), QStringLiteral("token-1"));
    ASSERT_EQ(tokenExchanges(), 1);
    const QByteArray body = identityProvider.requests().last().body;
    EXPECT_EQ(nlohmann::json::parse(body.cbegin(), body.cend()).at("code"), "first");

    testing::internal::CaptureStdout();
    delegate.openURLs({callbackURL(QStringLiteral("third"))});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(tokenExchanges(), 1);
}

TEST_F(AppDelegateTest, OtherSchemesAreSkippedWithoutTouchingTheSignIn)
{
    QCoro::Task<> signIn = beginSignIn();
    const QString query = callbackURL(QStringLiteral("code")).query();

    testing::internal::CaptureStdout();
    delegate.openURLs({QUrl(QStringLiteral("https://callback?") + query),
                       QUrl(QStringLiteral("vessa://callback?") + query),
                       QUrl(QStringLiteral("vessa-mac-x://callback?") + query)});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(serviceLookups, 0);
    EXPECT_TRUE(auth.isAwaitingCallback());

    auth.cancelSignIn();
    EXPECT_THROW(awaitTask(std::move(signIn)), WebAuthSessionError);
}

TEST_F(AppDelegateTest, CallbackWithNoSignInWaitingChangesNothing)
{
    awaitTask(auth.restored());

    testing::internal::CaptureStdout();
    delegate.openURLs({QUrl(QStringLiteral("vessa-mac://callback?code=stray"))});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    EXPECT_FALSE(auth.isAuthenticated());
    EXPECT_FALSE(auth.isLoading());
    EXPECT_EQ(tokenExchanges(), 0);
}
