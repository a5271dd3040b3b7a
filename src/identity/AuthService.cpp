#include "identity/AuthService.h"

#include "identity/AuthError.h"
#include "identity/AuthURLHelper.h"
#include "identity/AuthorizationChallenge.h"
#include "identity/KeychainKey.h"
#include "identity/KeychainService.h"
#include "identity/TokenExchangeHelper.h"
#include "identity/WebAuthSessionError.h"
#include "identity/WorkOSAuthResponse.h"
#include "model/Excerpt.h"
#include "model/Log.h"
#include "model/SharedInstance.h"
#include "model/Utf8Text.h"
#include "net/HttpClient.h"
#include "net/HttpRequest.h"
#include "net/HttpResponse.h"
#include "net/RedactedUrl.h"

#include <QByteArray>
#include <QDesktopServices>
#include <exception>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <type_traits>

using namespace std::string_view_literals;

namespace {

QUrl endpoint(QUrl base, const QString &path)
{
    QString joined = base.path();
    while (joined.endsWith(QLatin1Char('/')))
        joined.chop(1);
    base.setPath(joined + path);
    return base;
}

// Loads from the store that fail count as nothing stored.
template<typename Value>
QCoro::Task<std::optional<Value>> loadIfReadable(KeychainService &store, KeychainKey key)
{
    try {
        if constexpr (std::is_same_v<Value, QString>)
            co_return co_await store.loadString(key);
        else
            co_return co_await store.load<Value>(key);
    } catch (...) {
        co_return std::nullopt;
    }
}

// The profile cache only saves time at the next start: losing a write costs nothing else.
template<typename Value>
QCoro::Task<> saveDroppingFailure(KeychainService &store, Value value, KeychainKey key)
{
    try {
        co_await store.save(std::move(value), key);
    } catch (...) {
    }
}

struct StoredSession
{
    User user;
    std::optional<QString> aiName;
    std::optional<UserPreferences> userPreferences;
    std::optional<RecentMemories> recentMemories;
};

// None unless a non-empty access token and a readable user are stored; the profile values are
// each optional.
QCoro::Task<std::optional<StoredSession>> loadStoredSession(KeychainService &store)
{
    const auto accessToken = co_await loadIfReadable<QString>(store, KeychainKey::accessToken);
    if (!accessToken)
        co_return std::nullopt;
    const auto user = co_await loadIfReadable<User>(store, KeychainKey::userData);
    if (!user || accessToken->isEmpty())
        co_return std::nullopt;
    StoredSession session{*user, {}, {}, {}};
    session.aiName = co_await loadIfReadable<QString>(store, KeychainKey::aiName);
    session.userPreferences =
        co_await loadIfReadable<UserPreferences>(store, KeychainKey::userPreferences);
    session.recentMemories =
        co_await loadIfReadable<RecentMemories>(store, KeychainKey::recentMemories);
    co_return session;
}

// The member when it is an object that decodes as Record.
template<typename Record>
std::optional<Record> decodedMember(const nlohmann::ordered_json &body, const char *key)
{
    const auto member = body.find(key);
    if (member == body.end() || !member->is_object())
        return std::nullopt;
    try {
        return member->get<Record>();
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

QString encoded(const QUrl &url)
{
    return url.toString(QUrl::FullyEncoded);
}

} // namespace

AuthService &AuthService::shared()
{
    return SharedInstance<AuthService>::get();
}

bool AuthService::openInBrowser(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

AuthService::AuthService(KeychainService &keychain, const QUrl &identityProviderBase,
                         const QUrl &webBase, QString clientID, QString apiKey, URLOpener opener,
                         QObject *parent)
    : QObject(parent)
    , store(keychain)
    , m_workOSAuthURL(endpoint(identityProviderBase, QStringLiteral("/user_management/authorize")))
    , m_workOSTokenURL(
          endpoint(identityProviderBase, QStringLiteral("/user_management/authenticate")))
    , m_userInfoURL(endpoint(webBase, QStringLiteral("/api/user/info")))
    , m_workOSClientID(std::move(clientID))
    , m_workOSAPIKey(std::move(apiKey))
    , urlOpener(std::move(opener))
    , restoreTask(restoreSession())
{}

AuthService::~AuthService()
{
    lifetime.end();
    cancelSignIn();
}

QVariant AuthService::currentUserValue() const
{
    return m_currentUser ? QVariant::fromValue(*m_currentUser) : QVariant();
}

QVariant AuthService::userPreferencesValue() const
{
    return m_userPreferences ? QVariant::fromValue(*m_userPreferences) : QVariant();
}

QVariant AuthService::recentMemoriesValue() const
{
    return m_recentMemories ? QVariant::fromValue(*m_recentMemories) : QVariant();
}

QCoro::Task<> AuthService::restored()
{
    co_await restoreTask;
}

QCoro::Task<> AuthService::restoreSession()
{
    const Lifetime::Guard alive = lifetime.guard();
    const quint64 session = sessionGeneration;
    const auto stored = co_await loadStoredSession(store);
    // A sign-in or sign-out that happened meanwhile is newer than what the store held before it.
    if (!alive || session != sessionGeneration || !stored)
        co_return;
    setCurrentUser(stored->user);
    setIsAuthenticated(true);
    if (stored->aiName)
        setAiName(*stored->aiName);
    if (stored->userPreferences)
        setUserPreferences(stored->userPreferences);
    if (stored->recentMemories)
        setRecentMemories(stored->recentMemories);
}

QCoro::Task<> AuthService::signIn()
{
    const Lifetime::Guard alive = lifetime.guard();
    // The older sign-in ends before this one shows progress, so that its end cannot hide it.
    cancelSignIn();
    setIsLoading(true);
    try {
        const auto challenge = AuthorizationChallenge::generate();
        const auto authorizeURL = AuthURLHelper::buildAuthURL(
            encoded(m_workOSAuthURL), m_workOSClientID, QString::fromLatin1(redirectURI),
            QStringLiteral("code"), QStringLiteral("authkit"));
        if (!authorizeURL)
            throw AuthError(AuthError::Case::invalidAuthURL);
        const QUrl authURL = challenge.appliedTo(*authorizeURL);
        Log::write(QStringLiteral("[AuthService] Auth URL: ") + RedactedUrl::of(authURL));

        const QUrl callbackURL = co_await presentWebAuth(authURL);
        if (!alive)
            co_return;
        Log::write(QStringLiteral("[AuthService] Callback URL received: ") +
                   RedactedUrl::of(callbackURL));

        const auto code = AuthURLHelper::extractCode(callbackURL);
        if (!code) {
            Log::write("[AuthService] Failed to extract code from callback URL"sv);
            throw AuthError(AuthError::Case::invalidCallback);
        }
        // Not even the code's head: a short code would be written whole.
        Log::write(QStringLiteral("[AuthService] Extracted code: ") +
                   QLatin1StringView(RedactedUrl::mark) + QStringLiteral("..."));

        const auto [accessToken, user] =
            co_await exchangeCodeForToken(*code, challenge.codeVerifier);
        if (!alive)
            co_return;
        Log::write("[AuthService] Token exchange successful"sv);

        co_await storeCredentials(accessToken, user);
        if (!alive)
            co_return;
        ++sessionGeneration;
        setCurrentUser(user);
        setIsAuthenticated(true);
        Log::write(QStringLiteral("[AuthService] Sign in complete for user: ") + user.email);
        setIsLoading(false);
    } catch (...) {
        if (alive)
            setIsLoading(false);
        throw;
    }
}

QCoro::Task<QUrl> AuthService::presentWebAuth(QUrl url)
{
    Log::write(QStringLiteral("[AuthService] presentWebAuth called with URL: ") +
               RedactedUrl::of(url));
    Log::write("[AuthService] Expecting callback scheme: vessa-mac"sv);

    // At most one sign-in waits for a callback: an older wait ends as cancelled.
    cancelSignIn();
    const auto wait = std::make_shared<OneShot<QUrl>>();
    authContinuation = wait;
    awaitedState = AuthURLHelper::firstQueryItemValue(url, QStringLiteral("state"));
    emit isAwaitingCallbackChanged();

    const bool started = urlOpener(url);
    Log::write(started ? "[AuthService] Session started: true"sv
                       : "[AuthService] Session started: false"sv);
    // Nothing will ever call back for a page that never opened.
    if (!started && authContinuation == wait)
        failWebAuth(WebAuthSessionError(WebAuthSessionError::Case::presentationFailed));

    co_return co_await *wait;
}

bool AuthService::resumeAuthContinuation(const QUrl &callbackURL)
{
    if (!authContinuation ||
        !AuthURLHelper::isValidCallback(callbackURL, QString::fromLatin1(callbackScheme)))
        return false;
    // Any web page can open a URL of our scheme. Only the callback that brings back the state
    // this sign-in sent may end it; a stray one must not cancel it, or the real one that follows
    // would find nothing waiting.
    if (callbackURL.host() != QLatin1StringView(callbackHost) ||
        AuthURLHelper::firstQueryItemValue(callbackURL, QStringLiteral("state")) != awaitedState) {
        Log::write(QStringLiteral("[AuthService] Ignoring a callback URL of another sign-in: ") +
                   RedactedUrl::of(callbackURL));
        return false;
    }
    const auto wait = takeAuthContinuation();
    Log::write("[AuthService] ASWebAuthenticationSession completion called"sv);
    Log::write(QStringLiteral("[AuthService] Callback URL: ") + RedactedUrl::of(callbackURL));
    wait->succeed(callbackURL);
    return true;
}

void AuthService::cancelSignIn()
{
    failWebAuth(WebAuthSessionError(WebAuthSessionError::Case::canceledLogin));
}

void AuthService::failWebAuth(const WebAuthSessionError &error)
{
    if (!authContinuation)
        return;
    const auto wait = takeAuthContinuation();
    Log::write("[AuthService] ASWebAuthenticationSession completion called"sv);
    Log::write(std::string("[AuthService] Error: ") + error.what());
    wait->fail(std::make_exception_ptr(error));
}

std::shared_ptr<OneShot<QUrl>> AuthService::takeAuthContinuation()
{
    auto wait = std::exchange(authContinuation, nullptr);
    awaitedState.reset();
    emit isAwaitingCallbackChanged();
    return wait;
}

QCoro::Task<std::pair<QString, User>> AuthService::exchangeCodeForToken(QString code,
                                                                        QString codeVerifier)
{
    HttpRequest request(m_workOSTokenURL);
    request.method = "POST";
    request.setHeader("Content-Type", "application/json");
    request.body = QByteArray::fromStdString(
        TokenExchangeHelper::buildRequestBody(QStringLiteral("authorization_code"),
                                              m_workOSClientID, m_workOSAPIKey, code, codeVerifier)
            .dump());

    const HttpResponse response = co_await HttpClient::data(std::move(request), lifetime.token());
    if (!response.statusCode)
        throw AuthError(AuthError::Case::tokenExchangeFailed);
    Log::write(QStringLiteral("[AuthService] Token exchange response status: ") +
               QString::number(*response.statusCode));

    if (*response.statusCode == 200) {
        const auto reply =
            nlohmann::ordered_json::parse(response.body.cbegin(), response.body.cend())
                .get<WorkOSAuthResponse>();
        co_return std::pair{reply.accessToken, reply.user.toUser()};
    }
    if (const auto text = Utf8Text::decoded(response.body))
        Log::write(QStringLiteral("[AuthService] Token exchange error: ") + Excerpt::of(*text));
    throw AuthError(AuthError::Case::tokenExchangeFailed);
}

QCoro::Task<> AuthService::storeCredentials(QString accessToken, User user)
{
    co_await store.save(std::move(accessToken), KeychainKey::accessToken);
    co_await store.save(std::move(user), KeychainKey::userData);
}

QCoro::Task<> AuthService::signOut()
{
    const Lifetime::Guard alive = lifetime.guard();
    // The session ends now, before the store is cleared: a profile fetch that resumes meanwhile
    // must not write again what the clearing removes.
    ++sessionGeneration;
    setIsLoading(true);
    co_await store.deleteAll();
    if (!alive)
        co_return;
    setCurrentUser(std::nullopt);
    setIsAuthenticated(false);
    setIsLoading(false);
}

QCoro::Task<std::optional<QString>> AuthService::getAccessToken()
{
    co_return co_await loadIfReadable<QString>(store, KeychainKey::accessToken);
}

QCoro::Task<> AuthService::fetchUserInfo()
{
    if (!m_currentUser) {
        Log::write("[AuthService] No user ID available for fetching user info"sv);
        co_return;
    }
    const Lifetime::Guard alive = lifetime.guard();
    const quint64 session = sessionGeneration;

    // The web host knows the user by the identity provider's user id, not by the access token.
    HttpRequest request(m_userInfoURL);
    request.setHeader("Authorization", "Bearer " + m_currentUser->id.toUtf8());
    HttpResponse response;
    try {
        response = co_await HttpClient::data(std::move(request), lifetime.token());
    } catch (const std::exception &error) {
        Log::write(std::string("[AuthService] Error fetching user info: ") + error.what());
        co_return;
    }
    if (!alive || session != sessionGeneration)
        co_return;
    if (response.statusCode != 200) {
        Log::write(QStringLiteral("[AuthService] Failed to fetch user info: ") +
                   QString::number(response.statusCode.value_or(0)));
        co_return;
    }

    nlohmann::ordered_json body;
    try {
        body = nlohmann::ordered_json::parse(response.body.cbegin(), response.body.cend());
    } catch (const nlohmann::ordered_json::exception &error) {
        Log::write(std::string("[AuthService] Error fetching user info: ") + error.what());
        co_return;
    }
    if (!body.is_object())
        co_return;

    // Each member updates its own field; one that is missing or malformed skips only its step.
    const auto name = body.find("ai_name");
    if (name != body.end() && name->is_string()) {
        const QString aiName = QString::fromStdString(name->get<std::string>());
        setAiName(aiName);
        co_await saveDroppingFailure(store, aiName, KeychainKey::aiName);
        if (!alive || session != sessionGeneration)
            co_return;
        Log::write(QStringLiteral("[AuthService] Updated AI name to: ") + aiName);
    }
    if (const auto preferences = decodedMember<UserPreferences>(body, "preferences")) {
        setUserPreferences(preferences);
        co_await saveDroppingFailure(store, *preferences, KeychainKey::userPreferences);
        if (!alive || session != sessionGeneration)
            co_return;
        Log::write("[AuthService] Updated user preferences"sv);
    }
    if (const auto memories = decodedMember<RecentMemories>(body, "recent_memories")) {
        setRecentMemories(memories);
        co_await saveDroppingFailure(store, *memories, KeychainKey::recentMemories);
        if (!alive || session != sessionGeneration)
            co_return;
        Log::write("[AuthService] Updated recent memories"sv);
    }
}

void AuthService::setCurrentUser(const std::optional<User> &user)
{
    if (m_currentUser == user)
        return;
    m_currentUser = user;
    emit currentUserChanged();
}

void AuthService::setIsAuthenticated(bool isAuthenticated)
{
    if (m_isAuthenticated == isAuthenticated)
        return;
    m_isAuthenticated = isAuthenticated;
    emit isAuthenticatedChanged();
}

void AuthService::setIsLoading(bool isLoading)
{
    if (m_isLoading == isLoading)
        return;
    m_isLoading = isLoading;
    emit isLoadingChanged();
}

void AuthService::setAiName(const QString &aiName)
{
    if (m_aiName == aiName)
        return;
    m_aiName = aiName;
    emit aiNameChanged();
}

void AuthService::setUserPreferences(const std::optional<UserPreferences> &preferences)
{
    if (m_userPreferences == preferences)
        return;
    m_userPreferences = preferences;
    emit userPreferencesChanged();
}

void AuthService::setRecentMemories(const std::optional<RecentMemories> &memories)
{
    if (m_recentMemories == memories)
        return;
    m_recentMemories = memories;
    emit recentMemoriesChanged();
}
