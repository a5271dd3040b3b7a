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
#include <functional>
#include <gmock/gmock.h>
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

    // What the service wrote on standard output while `run` ran.
    static std::string stdoutOf(const std::function<void()> &run)
    {
        testing::internal::CaptureStdout();
        bool failed = false;
        try {
            run();
        } catch (...) {
            failed = true;
        }
        std::string written = testing::internal::GetCapturedStdout();
        EXPECT_FALSE(failed) << written;
        return written;
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

// Any page can open a URL of the callback scheme; only the sign-in's own callback may end it.
TEST_F(AuthServiceTest, StrayCallbacksAreIgnoredAndTheSignInWaitsForItsOwn)
{
    identityProvider.route("POST", "/user_management/authenticate",
                           ScriptedReply::json(tokenReply));
    auto &auth = start();
    auto signIn = auth.signIn();
    QString otherHost = callback(QStringLiteral("code=abc")).toString();
    otherHost.replace(QStringLiteral("//callback"), QStringLiteral("//elsewhere"));
    for (const QString &stray : {QStringLiteral("vessa-mac://callback?code=abc&state=forged"),
                                 QStringLiteral("vessa-mac://callback?code=abc"), otherHost}) {
        EXPECT_FALSE(auth.resumeAuthContinuation(QUrl(stray)));
        EXPECT_TRUE(auth.isAwaitingCallback());
    }
    EXPECT_TRUE(auth.resumeAuthContinuation(callback(QStringLiteral("code=right"))));
    awaitTask(std::move(signIn));
    EXPECT_TRUE(auth.isAuthenticated());
    EXPECT_EQ(exchangeBody()["code"], "right");

    // The sign-in's own callback without a code ends it.
    for (const QString &query : {QStringLiteral("error=denied"), QStringLiteral("code")}) {
        signIn = auth.signIn();
        EXPECT_TRUE(auth.resumeAuthContinuation(callback(query)));
        EXPECT_EQ(failureOf<AuthError>(std::move(signIn)),
                  AuthError(AuthError::Case::invalidCallback));
        EXPECT_FALSE(auth.isLoading());
    }
    EXPECT_EQ(identityProvider.requests().size(), 1);
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

// A redirect to another host would carry the user id, or the client secret, code and verifier.
TEST_F(AuthServiceTest, RedirectedExchangeAndProfileRequestsGoNoFurther)
{
    ScriptedHttpServer elsewhere;
    ScriptedReply redirect = ScriptedReply::text("moved", 307);
    redirect.headers.append({"Location", elsewhere.url("/taken").toEncoded()});
    identityProvider.route("POST", "/user_management/authenticate", redirect);
    web.route("GET", "/api/user/info", redirect);
    storeSignIn();
    auto &auth = start(QStringLiteral("sk_test"));

    awaitTask(auth.fetchUserInfo());
    auto signIn = auth.signIn();
    auth.resumeAuthContinuation(callback(QStringLiteral("code=abc")));
    EXPECT_EQ(failureOf<AuthError>(std::move(signIn)),
              AuthError(AuthError::Case::tokenExchangeFailed));
    EXPECT_EQ(auth.aiName(), "Vessa");
    EXPECT_TRUE(elsewhere.requests().isEmpty());
}

TEST_F(AuthServiceTest, TheLogOfASignInHoldsNoCodeStateVerifierOrUserIdNorAWholeErrorBody)
{
    const QString code = QStringLiteral("c0de-4f7e9a1b2c3d4e5f6a7b");
    identityProvider.route("POST", "/user_management/authenticate",
                           ScriptedReply::json(tokenReply));
    web.route("GET", "/api/user/info", ScriptedReply::json(fullProfile));
    auto &auth = start();

    const std::string log = stdoutOf([&] {
        auto signIn = auth.signIn();
        auth.resumeAuthContinuation(QUrl(QStringLiteral("vessa-mac://callback?code=x&state=y")));
        auth.resumeAuthContinuation(callback(QStringLiteral("code=") + code));
        awaitTask(std::move(signIn));
        awaitTask(auth.fetchUserInfo());
        identityProvider.route("POST", "/user_management/authenticate",
                               ScriptedReply::text(QByteArray(1024 * 1024, 'x'), 401));
        signIn = auth.signIn();
        auth.resumeAuthContinuation(callback(QStringLiteral("code=abc")));
        EXPECT_TRUE(failureOf<AuthError>(std::move(signIn)));
    });

    using testing::HasSubstr;
    using testing::Not;
    ASSERT_EQ(identityProvider.requests().size(), 2);
    const auto firstExchange =
        nlohmann::ordered_json::parse(identityProvider.requests().first().body.toStdString());
    const std::string secrets[] = {
        code.toStdString(),
        AuthURLHelper::firstQueryItemValue(opened.first(), "state").value().toStdString(),
        firstExchange["code_verifier"], "user_01"};
    for (const std::string &secret : secrets)
        EXPECT_THAT(log, Not(HasSubstr(secret)));
    EXPECT_THAT(log, Not(HasSubstr("code=x")));
    EXPECT_THAT(log, HasSubstr("[AuthService] Extracted code: [redacted]...\n"));
    EXPECT_THAT(log, HasSubstr("[AuthService] Token exchange error: xxx"));
    for (const QString &line : QString::fromStdString(log).split(QLatin1Char('\n')))
        EXPECT_LT(line.size(), 512) << line.left(100).toStdString();
}
