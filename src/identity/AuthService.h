#pragma once

#include "Configuration.h"
#include "identity/RecentMemories.h"
#include "identity/UserPreferences.h"
#include "model/CurrentUserProvider.h"
#include "model/Lifetime.h"
#include "model/OneShot.h"
#include "model/User.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariant>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

class KeychainService;
class WebAuthSessionError;

// The one sign-in service: signs the user in through the identity provider's page in the browser,
// keeps the access token and the user in the secure store, restores them at start, and holds the
// user's profile (assistant name, preferences, recent memories) fetched from the web host and
// cached in the store. Lives on the main thread; the screens observe its properties.
//
// The browser hands the callback URL to the application, which passes it to
// resumeAuthContinuation(); the sign-in waiting in signIn() then goes on.
class AuthService : public QObject, public CurrentUserProvider
{
    Q_OBJECT
    Q_PROPERTY(QVariant currentUser READ currentUserValue NOTIFY currentUserChanged)
    Q_PROPERTY(bool isAuthenticated READ isAuthenticated NOTIFY isAuthenticatedChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(QString aiName READ aiName NOTIFY aiNameChanged)
    Q_PROPERTY(QVariant userPreferences READ userPreferencesValue NOTIFY userPreferencesChanged)
    Q_PROPERTY(QVariant recentMemories READ recentMemoriesValue NOTIFY recentMemoriesChanged)
    Q_PROPERTY(bool isAwaitingCallback READ isAwaitingCallback NOTIFY isAwaitingCallbackChanged)

public:
    // Opens a URL in the browser; false when no browser could be asked to.
    using URLOpener = std::function<bool(const QUrl &)>;

    static constexpr char redirectURI[] = "vessa-mac://callback";
    static constexpr char callbackScheme[] = "vessa-mac";
    static constexpr char callbackHost[] = "callback";
    static constexpr char defaultAIName[] = "Vessa";

    // The instance the application's owner made.
    static AuthService &shared();
    // The user's default browser.
    static bool openInBrowser(const QUrl &url);

    // Starts restoring the sign-in kept in the store; restored() ends when that is done.
    explicit AuthService(
        KeychainService &store,
        const QUrl &identityProviderBase = QUrl(QString::fromUtf8(Configuration::idpBase)),
        const QUrl &webBase = QUrl(QString::fromUtf8(Configuration::webBase)),
        QString clientID = QString::fromUtf8(Configuration::idpClientId),
        QString apiKey = QString::fromUtf8(Configuration::idpApiKey),
        URLOpener urlOpener = openInBrowser, QObject *parent = nullptr);
    // Transfers in flight are aborted and a sign-in still waiting for its callback fails as
    // cancelled; none of their coroutines touches the service again.
    ~AuthService() override;

    const std::optional<User> &currentUser() const override { return m_currentUser; }
    // The user for QML, or undefined.
    QVariant currentUserValue() const;
    bool isAuthenticated() const { return m_isAuthenticated; }
    bool isLoading() const { return m_isLoading; }
    const QString &aiName() const { return m_aiName; }
    const std::optional<UserPreferences> &userPreferences() const { return m_userPreferences; }
    QVariant userPreferencesValue() const;
    const std::optional<RecentMemories> &recentMemories() const { return m_recentMemories; }
    QVariant recentMemoriesValue() const;
    // True while a sign-in waits for its callback URL.
    bool isAwaitingCallback() const { return authContinuation != nullptr; }

    const QUrl &workOSAuthURL() const { return m_workOSAuthURL; }
    const QUrl &workOSTokenURL() const { return m_workOSTokenURL; }
    const QUrl &userInfoURL() const { return m_userInfoURL; }

    // Ends once the restore started by the constructor has ended.
    QCoro::Task<> restored();

    // The whole browser sign-in. Throws AuthError, WebAuthSessionError when the user cancels
    // or no browser opens, and the transport's, the store's and the decoder's errors unchanged.
    // A sign-in still waiting for its callback is cancelled first.
    QCoro::Task<> signIn();
    // Deletes every stored key and clears the signed-in state; the profile stays in memory.
    QCoro::Task<> signOut();
    // The stored access token; none when nothing is stored or it cannot be read.
    QCoro::Task<std::optional<QString>> getAccessToken();
    // Refreshes the profile from the web host and caches it. Never throws: every failure is
    // logged and leaves the profile as it was.
    QCoro::Task<> fetchUserInfo();
    // Opens the browser on the URL and waits for the callback URL.
    QCoro::Task<QUrl> presentWebAuth(QUrl url);

    // Resumes the waiting sign-in with the callback URL and clears the wait; returns false,
    // changing nothing, when no sign-in is waiting or the URL is not its callback: another scheme
    // or host, or a "state" other than the one of the URL the browser was opened on.
    bool resumeAuthContinuation(const QUrl &callbackURL);
    // Ends the waiting sign-in, if any, with WebAuthSessionError "Sign in was cancelled".
    Q_INVOKABLE void cancelSignIn();

signals:
    void currentUserChanged();
    void isAuthenticatedChanged();
    void isLoadingChanged();
    void aiNameChanged();
    void userPreferencesChanged();
    void recentMemoriesChanged();
    void isAwaitingCallbackChanged();

private:
    QCoro::Task<> restoreSession();
    QCoro::Task<std::pair<QString, User>> exchangeCodeForToken(QString code, QString codeVerifier);
    QCoro::Task<> storeCredentials(QString accessToken, User user);

    // Ends the browser session of the waiting sign-in with an error, as its completion would.
    void failWebAuth(const WebAuthSessionError &error);
    std::shared_ptr<OneShot<QUrl>> takeAuthContinuation();

    void setCurrentUser(const std::optional<User> &user);
    void setIsAuthenticated(bool isAuthenticated);
    void setIsLoading(bool isLoading);
    void setAiName(const QString &aiName);
    void setUserPreferences(const std::optional<UserPreferences> &preferences);
    void setRecentMemories(const std::optional<RecentMemories> &memories);

    KeychainService &store;
    const QUrl m_workOSAuthURL;
    const QUrl m_workOSTokenURL;
    const QUrl m_userInfoURL;
    const QString m_workOSClientID;
    const QString m_workOSAPIKey;
    const URLOpener urlOpener;

    std::optional<User> m_currentUser;
    bool m_isAuthenticated = false;
    bool m_isLoading = false;
    QString m_aiName = QString::fromLatin1(defaultAIName);
    std::optional<UserPreferences> m_userPreferences;
    std::optional<RecentMemories> m_recentMemories;

    std::shared_ptr<OneShot<QUrl>> authContinuation;
    // The "state" of the URL the waiting sign-in opened, which its callback must bring back.
    std::optional<QString> awaitedState;
    // Counts sign-ins and sign-outs. A flow that belongs to a session (the restore, a profile
    // fetch) compares it after every wait and changes nothing once its session has ended, so a
    // late answer can neither undo a sign-out nor reach the next user.
    quint64 sessionGeneration = 0;
    Lifetime lifetime;
    // Declared last: the restore starts once everything it reads is set up.
    QCoro::Task<> restoreTask;
};
