#pragma once

#include "identity/AuthService.h"
#include "identity/KeychainService.h"
#include "support/ScriptedHttpServer.h"

#include <QCoroTask>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QUrlQuery>
#include <gtest/gtest.h>
#include <optional>

// A sign-in service of the test's own: a store in a temporary folder, an identity provider on a
// local socket that answers the code exchange, and a "browser" that only records the authorize
// URL, so that the test plays the browser's part and delivers the callback itself.
class SignInFixture : public testing::Test
{
protected:
    SignInFixture()
    {
        identityProvider.route("POST", "/user_management/authenticate",
                               ScriptedReply::json(R"({"user":{"id":"user_01","email":)"
                                                   R"("ada@example.com","first_name":"Ada"},)"
                                                   R"("access_token":"token-1"})"));
    }

    // Starts a sign-in and runs the event loop until it waits for its callback.
    QCoro::Task<> beginSignIn()
    {
        QCoro::Task<> signIn = auth.signIn();
        EXPECT_TRUE(QTest::qWaitFor([this] { return auth.isAwaitingCallback(); }, 5000));
        return signIn;
    }

    // The callback the browser would hand over: the code and the state the authorize URL sent.
    QUrl callbackURL(const QString &code) const
    {
        if (openedURLs.isEmpty())
            return {};
        const QString state = QUrlQuery(openedURLs.last())
                                  .queryItemValue(QStringLiteral("state"), QUrl::FullyEncoded);
        return QUrl(QStringLiteral("vessa-mac://callback?code=%1&state=%2").arg(code, state));
    }

    qsizetype tokenExchanges() const
    {
        qsizetype count = 0;
        for (const RecordedRequest &request : identityProvider.requests())
            count += request.path() == "/user_management/authenticate" ? 1 : 0;
        return count;
    }

    QTemporaryDir storeFolder;
    KeychainService store{storeFolder.path()};
    ScriptedHttpServer identityProvider;
    QList<QUrl> openedURLs;
    AuthService auth{store,
                     identityProvider.url(""),
                     identityProvider.url(""),
                     QStringLiteral("client_01TESTCLIENT0000000000000000"),
                     QString(),
                     [this](const QUrl &url) {
                         openedURLs.append(url);
                         return true;
                     }};
};
