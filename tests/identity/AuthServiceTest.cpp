#include "identity/AuthService.h"

#include "FileFixtures.h"
#include "identity/AuthError.h"
#include "identity/AuthURLHelper.h"
#include "identity/AuthorizationChallenge.h"
#include "identity/KeychainKey.h"
#include "identity/KeychainService.h"
#include "identity/WebAuthSessionError.h"
#include "net/TransportError.h"
#include "support/ScriptedHttpServer.h"
#include "support/TaskAwaiting.h"

#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

using FileFixtures::contents;
using FileFixtures::entries;
using FileFixtures::writeFile;

namespace {

const QByteArray tokenReply = R"({"user":{"id":"user_01","email":"ann@example.com",)"
                              R"("first_name":"Ann","last_name":null},"access_token":"tok-1"})";
const QByteArray fullProfile = R"({"ai_name":"Nova","preferences":{"diet_type":"vegan"},)"
                               R"("recent_memories":{"current_state":"busy"}})";
const User ann{QStringLiteral("user_01"), QStringLiteral("ann@example.com"), QStringLiteral("Ann"),
               std::nullopt};

} // namespace

class AuthServiceTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    AuthService &start(const QString &apiKey = {})
    {
        service = std::make_unique<AuthService>(store, identityProvider.url(), web.url(),
                                                QStringLiteral("client_TEST"), apiKey,
                                                [this](const QUrl &url) {
                                                    opened.append(url);
                                                    return openerSucceeds;
                                                });
        awaitTask(service->restored());
        return *service;
    }

    void storeSignIn(const QString &accessToken = QStringLiteral("tok-0"))
    {
        awaitTask(store.save(accessToken, KeychainKey::accessToken));
        awaitTask(store.save(ann, KeychainKey::userData));
    }

    // The callback the browser would deliver for the last authorize URL, state included.
    QUrl callback(const QString &query) const
    {
        const auto state = AuthURLHelper::firstQueryItemValue(opened.last(), "state");
        return QUrl("vessa-mac://callback?" + query + "&state=" + state.value_or(QString()));
    }

    nlohmann::ordered_json exchangeBody() const
    {
        return nlohmann::ordered_json::parse(identityProvider.requests().last().body.toStdString());
    }

    QTemporaryDir folder;
    KeychainService store{folder.filePath(QStringLiteral("secure"))};
    ScriptedHttpServer identityProvider;
    ScriptedHttpServer web;
    QList<QUrl> opened;
    bool openerSucceeds = true;
    std::unique_ptr<AuthService> service;
};

TEST_F(AuthServiceTest, SignInExchangesTheCodeWithItsVerifierAndStoresTokenAndUser)
{
    identityProvider.route("POST", "/user_management/authenticate",
                           ScriptedReply::json(tokenReply));
    auto &auth = start(QStringLiteral("sk_test"));

    auto signIn = auth.signIn();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(auth.isLoading());
    const QUrl authorize = opened.first();
    EXPECT_TRUE(auth.resumeAuthContinuation(callback(QStringLiteral("code=a%2Fb%20c&code=2nd"))));
    awaitTask(std::move(signIn));

    ASSERT_EQ(identityProvider.requests().size(), 1);
    const auto body = exchangeBody();
    EXPECT_EQ(body["code"], "a/b c");
    EXPECT_EQ(body["client_secret"], "sk_test");
    EXPECT_EQ(AuthorizationChallenge::codeChallenge(
                  QString::fromStdString(body["code_verifier"].get<std::string>())),
              AuthURLHelper::firstQueryItemValue(authorize, "code_challenge"));
    EXPECT_EQ(auth.currentUser(), ann);
    EXPECT_TRUE(auth.isAuthenticated());
    EXPECT_FALSE(auth.isLoading());
    EXPECT_EQ(entries(store.storageDirectory()), QStringList({"accessToken", "userData"}));
    EXPECT_EQ(contents(store.filePath(KeychainKey::userData)),
              R"({"id":"user_01","email":"ann@example.com","firstName":"Ann"})");
}

TEST_F(AuthServiceTest, ForgedOrIncompleteCallbacksFailWithoutAnExchange)
{
    auto &auth = start();
    for (const char *url :
         {"vessa-mac://callback?code=abc&state=forged", "vessa-mac://callback?code=abc",
          "vessa-mac://callback?error=denied", "vessa-mac://callback?code&state=x"}) {
        auto signIn = auth.signIn();
        auth.resumeAuthContinuation(QUrl(QString::fromLatin1(url)));
        EXPECT_EQ(failureOf<AuthError>(std::move(signIn)),
                  AuthError(AuthError::Case::invalidCallback));
        EXPECT_FALSE(auth.isLoading());
    }
    EXPECT_TRUE(identityProvider.requests().isEmpty());
    EXPECT_FALSE(auth.isAuthenticated());
}

TEST_F(AuthServiceTest, FailedExchangesStoreNothingAndEndTheProgress)
{
    auto &auth = start();
    ScriptedReply dropped = ScriptedReply::json("{\"user\":");
    dropped.dropAfterChunks = true;
    identityProvider.route("POST", "/user_management/authenticate", dropped);
    auto signIn = auth.signIn();
    auth.resumeAuthContinuation(callback(QStringLiteral("code=abc")));
    EXPECT_THROW(awaitTask(std::move(signIn)), TransportError);

    identityProvider.route("POST", "/user_management/authenticate",
                           ScriptedReply::text("invalid_grant", 401));
    signIn = auth.signIn();
    auth.resumeAuthContinuation(callback(QStringLiteral("code=abc")));
    EXPECT_EQ(failureOf<AuthError>(std::move(signIn)),
              AuthError(AuthError::Case::tokenExchangeFailed));

    for (const QByteArray &reply :
         {QByteArray(R"({"user":{"id":"u","email":"e"}})"),
          QByteArray(R"({"user":{"id":"u","email":"e"},"access_token":"t","n":1e400})")}) {
        identityProvider.route("POST", "/user_management/authenticate", ScriptedReply::json(reply));
        signIn = auth.signIn();
        auth.resumeAuthContinuation(callback(QStringLiteral("code=abc")));
        EXPECT_TRUE(failureOf<nlohmann::ordered_json::exception>(std::move(signIn)));
    }
    EXPECT_FALSE(auth.isLoading());
    EXPECT_FALSE(auth.isAuthenticated());
    EXPECT_TRUE(entries(store.storageDirectory()).isEmpty());
}

TEST_F(AuthServiceTest, ASignInEndsOnceWhetherCancelledReplacedOrLeftWithoutABrowser)
{
    auto &auth = start();
    auto first = auth.signIn();
    auto second = auth.signIn();
    EXPECT_STREQ(failureOf<WebAuthSessionError>(std::move(first)).value().what(),
                 "Sign in was cancelled");
    EXPECT_TRUE(auth.isLoading());
    auth.cancelSignIn();
    EXPECT_TRUE(failureOf<WebAuthSessionError>(std::move(second)));
    EXPECT_FALSE(auth.resumeAuthContinuation(QUrl("vessa-mac://callback?code=late")));

    openerSucceeds = false;
    EXPECT_THROW(awaitTask(auth.signIn()), WebAuthSessionError);
    EXPECT_FALSE(auth.isAwaitingCallback());
    EXPECT_FALSE(auth.isLoading());
}

TEST_F(AuthServiceTest, RestoreNeedsANonEmptyTokenAndAReadableUserAndTakesWhatProfileIsCached)
{
    storeSignIn(QString());
    EXPECT_FALSE(start().isAuthenticated());
    storeSignIn();
    writeFile(store.filePath(KeychainKey::userData), "{\"id\":\"user_01\"}");
    EXPECT_FALSE(start().isAuthenticated());

    storeSignIn();
    awaitTask(store.save(QStringLiteral("Nova"), KeychainKey::aiName));
    writeFile(store.filePath(KeychainKey::userPreferences), "not json");
    writeFile(store.filePath(KeychainKey::recentMemories), R"({"key_learnings":"tea"})");
    auto &auth = start();
    EXPECT_EQ(auth.currentUser(), ann);
    EXPECT_EQ(auth.aiName(), "Nova");
    EXPECT_FALSE(auth.userPreferences());
    EXPECT_EQ(auth.recentMemories()->keyLearnings, "tea");

    awaitTask(auth.signOut());
    EXPECT_FALSE(auth.isAuthenticated());
    EXPECT_EQ(auth.aiName(), "Nova");
    EXPECT_TRUE(entries(store.storageDirectory()).isEmpty());
}

TEST_F(AuthServiceTest, EachProfileMemberUpdatesAndCachesOnlyItsOwnField)
{
    storeSignIn();
    web.route("GET", "/api/user/info",
              ScriptedReply::json(R"({"ai_name":null,"preferences":{"diet_type":"vegan"},)"
                                  R"("recent_memories":{"current_state":"busy"}})"));
    auto &auth = start();
    awaitTask(auth.fetchUserInfo());
    EXPECT_EQ(web.requests().first().header("authorization"), "Bearer user_01");
    EXPECT_EQ(auth.aiName(), "Vessa");
    EXPECT_EQ(auth.userPreferences()->toContextString(), "Diet Type: vegan\n");
    EXPECT_EQ(contents(store.filePath(KeychainKey::userPreferences)), R"({"diet_type":"vegan"})");
    EXPECT_EQ(contents(store.filePath(KeychainKey::recentMemories)), R"({"current_state":"busy"})");
}

TEST_F(AuthServiceTest, FailedProfileFetchesChangeNothing)
{
    storeSignIn();
    auto &auth = start();
    ScriptedReply dropped = ScriptedReply::json("{\"ai_name\":");
    dropped.dropAfterChunks = true;
    for (const ScriptedReply &reply :
         {ScriptedReply::json(fullProfile, 401), ScriptedReply::text("<html>"),
          ScriptedReply::json(R"(["Nova"])"),
          ScriptedReply::json(R"({"ai_name":"Nova","n":1e400})"), dropped}) {
        web.route("GET", "/api/user/info", reply);
        awaitTask(auth.fetchUserInfo());
    }
    // Qt may send a GET again once when the connection drops mid-answer.
    EXPECT_GE(web.requests().size(), 5);
    EXPECT_EQ(auth.aiName(), "Vessa");
    EXPECT_EQ(entries(store.storageDirectory()), QStringList({"accessToken", "userData"}));
}

TEST_F(AuthServiceTest, AProfileThatArrivesAfterSignOutIsDropped)
{
    storeSignIn();
    web.route("GET", "/api/user/info", ScriptedReply::json(fullProfile));
    auto &auth = start();
    web.hold();
    auto fetch = auth.fetchUserInfo();
    ASSERT_TRUE(web.waitForRequests(1));

    awaitTask(auth.signOut());
    web.release();
    awaitTask(std::move(fetch));

    EXPECT_TRUE(entries(store.storageDirectory()).isEmpty());
    EXPECT_EQ(auth.aiName(), "Vessa");
    EXPECT_FALSE(auth.userPreferences());
    EXPECT_FALSE(auth.recentMemories());
}

TEST_F(AuthServiceTest, DestroyingTheServiceWithWorkInFlightTouchesNothingOfIt)
{
    identityProvider.route("POST", "/user_management/authenticate",
                           ScriptedReply::json(tokenReply));
    web.route("GET", "/api/user/info", ScriptedReply::json(fullProfile));
    storeSignIn();
    auto &auth = start();
    web.hold();
    identityProvider.hold();
    auto fetch = auth.fetchUserInfo();
    auto signIn = auth.signIn();
    auth.resumeAuthContinuation(callback(QStringLiteral("code=abc")));
    ASSERT_TRUE(web.waitForRequests(1));
    ASSERT_TRUE(identityProvider.waitForRequests(1));
    // Runs on the store's thread while the service goes.
    auto signOut = auth.signOut();

    service.reset();
    web.release();
    identityProvider.release();
    EXPECT_THROW(awaitTask(std::move(signIn)), TransportError);
    awaitTask(std::move(fetch));
    awaitTask(std::move(signOut));
    EXPECT_TRUE(entries(store.storageDirectory()).isEmpty());
}
