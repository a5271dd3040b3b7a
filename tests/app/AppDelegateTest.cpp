#include "app/AppDelegate.h"

#include "SignInFixture.h"
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

TEST_F(AppDelegateTest, OnlyTheFirstCallbackOfTheOwnSchemeCompletesTheSignIn)
{
    QCoro::Task<> signIn = beginSignIn();
    const QString query = callbackURL(QStringLiteral("code")).query();
    delegate.openURLs({QUrl(QStringLiteral("https://callback?") + query),
                       QUrl(QStringLiteral("vessa-mac-x://callback?") + query)});
    EXPECT_EQ(serviceLookups, 0);
    EXPECT_TRUE(auth.isAwaitingCallback());

    delegate.openURLs(
        {callbackURL(QStringLiteral("first")), callbackURL(QStringLiteral("second"))});
    awaitTask(std::move(signIn));
    delegate.openURLs({callbackURL(QStringLiteral("third"))});

    EXPECT_TRUE(auth.isAuthenticated());
    ASSERT_EQ(tokenExchanges(), 1);
    const QByteArray body = identityProvider.requests().last().body;
    EXPECT_EQ(nlohmann::json::parse(body.cbegin(), body.cend()).at("code"), "first");
}
