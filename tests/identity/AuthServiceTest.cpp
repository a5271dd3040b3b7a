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

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

using FileFixtures::contents;
using FileFixtures::entries;
using FileFixtures::writeFile;

namespace {

const QByteArray tokenReply = R"({"user":{"id":"user_01","email":"ann@example.com",)"
                              R"("first_name":"Ann","last_name":null},"access_token":"tok-1"})";
const User ann{QStringLiteral("user_01"), QStringLiteral("ann@example.com"), QStringLiteral("Ann"),
               std::nullopt};

template<typename Error, typename T> std::string failureOf(QCoro::Task<T> task)
{
    try {
        awaitTask(std::move(task));
    } catch (const Error &error) {
        return error.what();
    }
    ADD_FAILURE() << "expected the task to fail";
    return {};
}

QStringList lines(const std::string &output)
{
    return QString::fromStdString(output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

class AuthServiceTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    AuthService &start(const QUrl &identityProviderBase = {}, const QString &apiKey = {})
    {
        service = std::make_unique<AuthService>(
            store, identityProviderBase.isEmpty() ? identityProvider.url() : identityProviderBase,
            web.url(), QStringLiteral("client_TEST"), apiKey, [this](const QUrl &url) {
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
        const auto state =
            AuthURLHelper::firstQueryItemValue(opened.last(), QStringLiteral("state"));
        return QUrl(QStringLiteral("vessa-mac://callback?") + query + QStringLiteral("&state=") +
                    state.value_or(QString()));
    }

    QString keyPath(KeychainKey key) const { return store.filePath(key); }

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

TEST_F(AuthServiceTest, SignInEndToEndStoresExactlyTokenAndUser)
{
    identityProvider.route("POST", "/user_management/authenticate",
                           ScriptedReply::json(tokenReply));
    auto &auth = start();
    testing::internal::CaptureStdout();

    auto signIn = auth.signIn();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(auth.isLoading());
    EXPECT_TRUE(auth.isAwaitingCallback());
    const QUrl authorize = opened.first();
    EXPECT_TRUE(QRegularExpression(
                    "^" + QRegularExpression::escape(identityProvider.url().toString()) +
                    "user_management/authorize\\?client_id=client_TEST&redirect_uri=vessa-mac://"
                    "callback&response_type=code&provider=authkit&state=[\\w-]{43}&"
                    "code_challenge=[\\w-]{43}&code_challenge_method=S256$")
                    .match(authorize.toString(QUrl::FullyEncoded))
                    .hasMatch())
        << authorize.toString().toStdString();

    const QUrl callbackURL = callback(QStringLiteral("code=01HCODE"));
    EXPECT_TRUE(auth.resumeAuthContinuation(callbackURL));
    EXPECT_FALSE(auth.isAwaitingCallback());
    awaitTask(std::move(signIn));
    const QString output = QString::fromStdString(testing::internal::GetCapturedStdout());

    ASSERT_EQ(identityProvider.requests().size(), 1);
    EXPECT_EQ(identityProvider.requests().first().header("content-type"), "application/json");
    const auto body = exchangeBody();
    EXPECT_EQ(body.size(), 4U) << "no client_secret without an API key";
    EXPECT_EQ(body["grant_type"], "authorization_code");
    EXPECT_EQ(body["client_id"], "client_TEST");
    EXPECT_EQ(body["code"], "01HCODE");
    EXPECT_EQ(AuthorizationChallenge::codeChallenge(
                  QString::fromStdString(body["code_verifier"].get<std::string>())),
              AuthURLHelper::firstQueryItemValue(authorize, "code_challenge"));

    EXPECT_EQ(auth.currentUser(), ann);
    EXPECT_TRUE(auth.isAuthenticated());
    EXPECT_FALSE(auth.isLoading());
    EXPECT_EQ(entries(store.storageDirectory()), QStringList({"accessToken", "userData"}));
    EXPECT_EQ(contents(keyPath(KeychainKey::accessToken)), "tok-1");
    EXPECT_EQ(contents(keyPath(KeychainKey::userData)),
              R"({"id":"user_01","email":"ann@example.com","firstName":"Ann"})");

    const QString authURL = authorize.toString(QUrl::FullyEncoded);
    const QString callbackText = callbackURL.toString(QUrl::FullyEncoded);
    EXPECT_EQ(lines(output.toStdString()),
              QStringList({"[AuthService] Auth URL: " + authURL,
                           "[AuthService] presentWebAuth called with URL: " + authURL,
                           "[AuthService] Expecting callback scheme: vessa-mac",
                           "[AuthService] Session started: true",
                           "[AuthService] ASWebAuthenticationSession completion called",
                           "[AuthService] Callback URL: " + callbackText,
                           "[AuthService] Callback URL received: " + callbackText,
                           "[AuthService] Extracted code: 01HCODE...",
                           "[AuthService] Token exchange response status: 200",
                           "[AuthService] Token exchange successful",
                           "[AuthService] Sign in complete for user: ann@example.com"}));
}

TEST_F(AuthServiceTest, OddButGenuineCallbacksDeliverTheFirstDecodedCode)
{
    identityProvider.route("POST", "/user_management/authenticate",
                           ScriptedReply::json(tokenReply));
    auto &auth = start({}, QStringLiteral("sk_test"));
    const std::pair<QString, std::string> cases[] = {
        {QStringLiteral("vessa-mac://callback?code=a%2Fb%20c&code=second"), "a/b c"},
        {QStringLiteral("VESSA-MAC://elsewhere/path?x=1&code=plain"), "plain"},
        {QStringLiteral("vessa-mac://callback?code="), ""},
        {QStringLiteral("vessa-mac://callback?code=01HABCDEFGHJKMNPQRSTVWXYZ9"),
         "01HABCDEFGHJKMNPQRSTVWXYZ9"},
    };
    testing::internal::CaptureStdout();
    for (const auto &[prefix, code] : cases) {
        auto signIn = auth.signIn();
        const auto state = AuthURLHelper::firstQueryItemValue(opened.last(), "state");
        ASSERT_TRUE(auth.resumeAuthContinuation(QUrl(prefix + "&state=" + *state)));
        awaitTask(std::move(signIn));
        EXPECT_EQ(exchangeBody()["code"], code) << prefix.toStdString();
        EXPECT_EQ(exchangeBody()["client_secret"], "sk_test");
    }
    const auto output = lines(testing::internal::GetCapturedStdout());
    EXPECT_TRUE(output.contains("[AuthService] Extracted code: ..."));
    EXPECT_TRUE(output.contains("[AuthService] Extracted code: 01HABCDEFGHJKMNPQRST..."));
}

TEST_F(AuthServiceTest, ForgedOrIncompleteCallbacksFailWithoutAnExchange)
{
    auto &auth = start();
    const std::pair<const char *, const char *> cases[] = {
        {"vessa-mac://callback?code=abc&state=forged",
         "[AuthService] State mismatch in callback URL"},
        {"vessa-mac://callback?code=abc", "[AuthService] State mismatch in callback URL"},
        {"vessa-mac://callback?error=access_denied",
         "[AuthService] Failed to extract code from callback URL"},
        {"vessa-mac://callback", "[AuthService] Failed to extract code from callback URL"},
        {"vessa-mac://callback?code&state=x",
         "[AuthService] Failed to extract code from callback URL"},
    };
    for (const auto &[url, logLine] : cases) {
        auto signIn = auth.signIn();
        testing::internal::CaptureStdout();
        auth.resumeAuthContinuation(QUrl(QString::fromLatin1(url)));
        EXPECT_EQ(failureOf<AuthError>(std::move(signIn)), "Invalid callback from authentication");
        EXPECT_TRUE(lines(testing::internal::GetCapturedStdout()).contains(logLine)) << url;
        EXPECT_FALSE(auth.isLoading());
    }
    EXPECT_TRUE(identityProvider.requests().isEmpty());
    EXPECT_FALSE(auth.isAuthenticated());
}

TEST_F(AuthServiceTest, RejectedExchangeLogsTheBodyOnOneLine)
{
    identityProvider.route("POST", "/user_management/authenticate",
                           ScriptedReply::text("invalid_grant\nexpired", 401));
    auto &auth = start();
    auto signIn = auth.signIn();
    testing::internal::CaptureStdout();
    auth.resumeAuthContinuation(callback(QStringLiteral("code=abc")));
    EXPECT_EQ(failureOf<AuthError>(std::move(signIn)), "Failed to exchange authentication code");
    const auto output = lines(testing::internal::GetCapturedStdout());
    EXPECT_TRUE(output.contains("[AuthService] Token exchange response status: 401"));
    EXPECT_TRUE(output.contains("[AuthService] Token exchange error: invalid_grant\\nexpired"));
    EXPECT_FALSE(auth.isLoading());
    EXPECT_TRUE(entries(store.storageDirectory()).isEmpty());
}

TEST_F(AuthServiceTest, UndecodableTokenRepliesFailWithTheDecodersError)
{
    auto &auth = start();
    for (const QByteArray &reply :
         {QByteArray("{\"user\":"), QByteArray(R"({"user":{"id":"u","email":"e"}})"),
          QByteArray(R"({"user":{"id":1,"email":"e"},"access_token":"t"})")}) {
        identityProvider.route("POST", "/user_management/authenticate", ScriptedReply::json(reply));
        auto signIn = auth.signIn();
        auth.resumeAuthContinuation(callback(QStringLiteral("code=abc")));
        EXPECT_FALSE(failureOf<nlohmann::ordered_json::exception>(std::move(signIn)).empty());
        EXPECT_FALSE(auth.isLoading());
    }
    EXPECT_FALSE(auth.isAuthenticated());
    EXPECT_TRUE(entries(store.storageDirectory()).isEmpty());
}

TEST_F(AuthServiceTest, DroppedExchangePassesTheTransportErrorOn)
{
    ScriptedReply dropped = ScriptedReply::json("{\"user\":");
    dropped.dropAfterChunks = true;
    identityProvider.route("POST", "/user_management/authenticate", dropped);
    auto &auth = start();
    auto signIn = auth.signIn();
    auth.resumeAuthContinuation(callback(QStringLiteral("code=abc")));
    EXPECT_THROW(awaitTask(std::move(signIn)), TransportError);
    EXPECT_FALSE(auth.isLoading());
}

TEST_F(AuthServiceTest, CancelEndsTheWaitOnceAndLaterCallbacksAreDropped)
{
    auto &auth = start();
    int awaitingChanges = 0;
    QObject::connect(&auth, &AuthService::isAwaitingCallbackChanged, [&] { ++awaitingChanges; });
    auto signIn = auth.signIn();
    testing::internal::CaptureStdout();
    auth.cancelSignIn();
    EXPECT_EQ(failureOf<WebAuthSessionError>(std::move(signIn)), "Sign in was cancelled");
    EXPECT_EQ(lines(testing::internal::GetCapturedStdout()),
              QStringList({"[AuthService] ASWebAuthenticationSession completion called",
                           "[AuthService] Error: Sign in was cancelled"}));
    EXPECT_EQ(awaitingChanges, 2);
    EXPECT_FALSE(auth.isLoading());
    EXPECT_FALSE(auth.resumeAuthContinuation(QUrl("vessa-mac://callback?code=late")));
    auth.cancelSignIn();
    EXPECT_EQ(awaitingChanges, 2);
}

TEST_F(AuthServiceTest, SecondCallbackAndForeignUrlsAreIgnored)
{
    identityProvider.route("POST", "/user_management/authenticate",
                           ScriptedReply::json(tokenReply));
    auto &auth = start();
    EXPECT_FALSE(auth.resumeAuthContinuation(QUrl("vessa-mac://callback?code=none-waiting")));
    auto signIn = auth.signIn();
    EXPECT_FALSE(auth.resumeAuthContinuation(QUrl("https://evil.example/callback?code=x")));
    EXPECT_FALSE(auth.resumeAuthContinuation(QUrl()));
    EXPECT_TRUE(auth.isAwaitingCallback());
    EXPECT_TRUE(auth.resumeAuthContinuation(callback(QStringLiteral("code=first"))));
    EXPECT_FALSE(auth.resumeAuthContinuation(callback(QStringLiteral("code=second"))));
    awaitTask(std::move(signIn));
    ASSERT_EQ(identityProvider.requests().size(), 1);
    EXPECT_EQ(exchangeBody()["code"], "first");
}

TEST_F(AuthServiceTest, NewSignInCancelsTheWaitingOneAndKeepsLoading)
{
    auto &auth = start();
    auto first = auth.signIn();
    auto second = auth.signIn();
    EXPECT_EQ(failureOf<WebAuthSessionError>(std::move(first)), "Sign in was cancelled");
    EXPECT_TRUE(auth.isLoading());
    EXPECT_TRUE(auth.isAwaitingCallback());
    EXPECT_EQ(opened.size(), 2);
    EXPECT_NE(opened[0], opened[1]) << "each sign-in has its own state and challenge";
    auth.cancelSignIn();
    EXPECT_THROW(awaitTask(std::move(second)), WebAuthSessionError);
}

TEST_F(AuthServiceTest, BrowserThatDoesNotOpenFailsTheSignIn)
{
    openerSucceeds = false;
    auto &auth = start();
    testing::internal::CaptureStdout();
    EXPECT_EQ(failureOf<WebAuthSessionError>(auth.signIn()),
              "The browser could not be opened to sign in");
    const auto output = lines(testing::internal::GetCapturedStdout());
    EXPECT_TRUE(output.contains("[AuthService] Session started: false"));
    EXPECT_TRUE(output.contains("[AuthService] Error: The browser could not be opened to sign in"));
    EXPECT_FALSE(auth.isAwaitingCallback());
    EXPECT_FALSE(auth.isLoading());
}

TEST_F(AuthServiceTest, UnusableIdentityProviderBaseFailsBeforeTheBrowser)
{
    auto &auth = start(QUrl(QStringLiteral("not a url")));
    EXPECT_EQ(failureOf<AuthError>(auth.signIn()), "Invalid authentication URL");
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_FALSE(auth.isLoading());
}

TEST_F(AuthServiceTest, DestroyingTheServiceEndsAWaitingSignIn)
{
    start();
    auto signIn = service->signIn();
    service.reset();
    EXPECT_THROW(awaitTask(std::move(signIn)), WebAuthSessionError);
}

TEST_F(AuthServiceTest, RestoreNeedsANonEmptyTokenAndAReadableUser)
{
    storeSignIn(QString());
    EXPECT_FALSE(start().isAuthenticated());
    storeSignIn();
    writeFile(keyPath(KeychainKey::userData), "{\"id\":\"user_01\"}");
    const auto &restarted = start();
    EXPECT_FALSE(restarted.isAuthenticated());
    EXPECT_FALSE(restarted.currentUser());
}

TEST_F(AuthServiceTest, RestoreBringsBackTheUserAndWhateverProfileIsCached)
{
    storeSignIn();
    auto &auth = start();
    EXPECT_TRUE(auth.isAuthenticated());
    EXPECT_EQ(auth.currentUser(), ann);
    EXPECT_EQ(auth.currentUserValue().value<User>(), ann);
    EXPECT_EQ(auth.aiName(), "Vessa");
    EXPECT_FALSE(auth.userPreferences());

    awaitTask(store.save(QStringLiteral("Nova"), KeychainKey::aiName));
    writeFile(keyPath(KeychainKey::userPreferences), "not json");
    writeFile(keyPath(KeychainKey::recentMemories), R"({"key_learnings":"tea"})");
    auto &restarted = start();
    EXPECT_EQ(restarted.aiName(), "Nova");
    EXPECT_FALSE(restarted.userPreferences());
    EXPECT_EQ(restarted.recentMemories()->keyLearnings, "tea");
    EXPECT_EQ(awaitTask(restarted.getAccessToken()), "tok-0");
}

TEST_F(AuthServiceTest, SignOutClearsTheStoreButKeepsTheProfileInMemory)
{
    storeSignIn();
    awaitTask(store.save(QStringLiteral("Nova"), KeychainKey::aiName));
    auto &auth = start();
    awaitTask(auth.signOut());
    EXPECT_FALSE(auth.isAuthenticated());
    EXPECT_FALSE(auth.currentUser());
    EXPECT_FALSE(auth.isLoading());
    EXPECT_EQ(auth.aiName(), "Nova");
    EXPECT_TRUE(entries(store.storageDirectory()).isEmpty());
    EXPECT_EQ(awaitTask(auth.getAccessToken()), std::nullopt);
}

TEST_F(AuthServiceTest, FetchWithoutUserOnlyLogs)
{
    auto &auth = start();
    testing::internal::CaptureStdout();
    awaitTask(auth.fetchUserInfo());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[AuthService] No user ID available for fetching user info\n");
    EXPECT_TRUE(web.requests().isEmpty());
}

TEST_F(AuthServiceTest, FetchedNameIsSetCachedAndNotifiedOnce)
{
    storeSignIn();
    web.route("GET", "/api/user/info", ScriptedReply::json(R"({"ai_name":"Nova"})"));
    auto &auth = start();
    int nameChanges = 0;
    QObject::connect(&auth, &AuthService::aiNameChanged, [&] { ++nameChanges; });
    testing::internal::CaptureStdout();
    awaitTask(auth.fetchUserInfo());
    awaitTask(auth.fetchUserInfo());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[AuthService] Updated AI name to: Nova\n[AuthService] Updated AI name to: Nova\n");
    EXPECT_EQ(auth.aiName(), "Nova");
    EXPECT_EQ(nameChanges, 1);
    EXPECT_EQ(contents(keyPath(KeychainKey::aiName)), "Nova");
    EXPECT_FALSE(auth.userPreferences());
    EXPECT_FALSE(auth.recentMemories());
    const auto &request = web.requests().first();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target, "/api/user/info");
    EXPECT_EQ(request.header("authorization"), "Bearer user_01");
}

TEST_F(AuthServiceTest, EachProfileMemberUpdatesOnlyItsOwnField)
{
    storeSignIn();
    web.route("GET", "/api/user/info",
              ScriptedReply::json(R"({"ai_name":null,"preferences":{"diet_type":"vegan"},)"
                                  R"("recent_memories":{"current_state":"busy"}})"));
    auto &auth = start();
    testing::internal::CaptureStdout();
    awaitTask(auth.fetchUserInfo());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[AuthService] Updated user preferences\n[AuthService] Updated recent memories\n");
    EXPECT_EQ(auth.aiName(), "Vessa");
    EXPECT_FALSE(QFile::exists(keyPath(KeychainKey::aiName)));
    EXPECT_EQ(auth.userPreferences()->toContextString(), "Diet Type: vegan\n");
    EXPECT_EQ(contents(keyPath(KeychainKey::userPreferences)), R"({"diet_type":"vegan"})");
    EXPECT_EQ(*auth.recentMemories(), RecentMemories{.currentState = QStringLiteral("busy")});
    EXPECT_EQ(contents(keyPath(KeychainKey::recentMemories)), R"({"current_state":"busy"})");

    web.route("GET", "/api/user/info",
              ScriptedReply::json(
                  R"({"ai_name":7,"preferences":[1],"recent_memories":{"current_state":3}})"));
    testing::internal::CaptureStdout();
    awaitTask(auth.fetchUserInfo());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(auth.recentMemories()->currentState, "busy");
    EXPECT_TRUE(auth.userPreferences());
}

TEST_F(AuthServiceTest, FailedFetchesLogAndChangeNothing)
{
    storeSignIn();
    auto &auth = start();
    ScriptedReply dropped = ScriptedReply::json("{\"ai_name\":");
    dropped.dropAfterChunks = true;
    const std::pair<ScriptedReply, std::string> cases[] = {
        {ScriptedReply::json(R"({"ai_name":"Nova"})", 401),
         "[AuthService] Failed to fetch user info: 401\n"},
        {ScriptedReply::text("<html>"),
         "[AuthService] Error fetching user info: [json.exception.parse_error"},
        {ScriptedReply::json(R"(["Nova"])"), ""},
        {dropped, "[AuthService] Error fetching user info: "},
    };
    for (const auto &[reply, logStart] : cases) {
        web.route("GET", "/api/user/info", reply);
        testing::internal::CaptureStdout();
        awaitTask(auth.fetchUserInfo());
        const std::string output = testing::internal::GetCapturedStdout();
        EXPECT_EQ(output.substr(0, logStart.size()), logStart);
        EXPECT_EQ(output.empty(), logStart.empty()) << output;
        EXPECT_EQ(auth.aiName(), "Vessa");
    }
    EXPECT_EQ(entries(store.storageDirectory()), QStringList({"accessToken", "userData"}));
}
