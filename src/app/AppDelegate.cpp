#include "app/AppDelegate.h"

#include "app/HotKeyManager.h"
#include "app/StatusBarController.h"
#include "identity/AuthService.h"
#include "model/Log.h"

#include <QCoreApplication>
#include <QPointer>
#include <QString>
#include <QThread>
#include <memory>
#include <utility>

AppDelegate::AuthServiceProvider AppDelegate::sharedAuthService()
{
    return []() -> AuthService & { return AuthService::shared(); };
}

AppDelegate::AppDelegate(AuthServiceProvider authServiceProvider, QObject *parent)
    : QObject(parent)
    , authService(std::move(authServiceProvider))
{}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching()
{
    Q_ASSERT(QThread::currentThread() == QCoreApplication::instance()->thread());
    m_statusBarController = std::make_unique<StatusBarController>();
    m_statusBarController->setup();
    // Held weakly: a hot key that arrives while the application goes away does nothing.
    m_hotKeyManager = std::make_unique<HotKeyManager>([delegate = QPointer(this)] {
        if (delegate)
            delegate->togglePopover();
    });
    m_hotKeyManager->setup();
    Log::write(QStringLiteral("[AppDelegate] Vessa Mac launched"));
}

void AppDelegate::applicationWillTerminate()
{
    Q_ASSERT(QThread::currentThread() == QCoreApplication::instance()->thread());
    if (m_hotKeyManager)
        m_hotKeyManager->cleanup();
    Log::write(QStringLiteral("[AppDelegate] Vessa Mac terminating"));
}

void AppDelegate::togglePopover()
{
    if (m_statusBarController)
        m_statusBarController->togglePopover();
}

void AppDelegate::showPopover()
{
    if (m_statusBarController)
        m_statusBarController->showPopover();
}

void AppDelegate::openURLs(const QList<QUrl> &urls)
{
    Q_ASSERT(QThread::currentThread() == QCoreApplication::instance()->thread());
    for (const QUrl &url : urls) {
        // 1. Only the application's own scheme carries sign-in callbacks.
        if (url.scheme() != QLatin1StringView(AuthService::callbackScheme))
            continue;
        // 2. The waiting sign-in takes the URL and stops waiting, so a second callback for the
        //    same sign-in finds nothing to resume.
        AuthService &auth = authService();
        if (auth.resumeAuthContinuation(url))
            showPopoverWhenSignInEnds(auth);
    }
}

void AppDelegate::showPopoverWhenSignInEnds(AuthService &auth)
{
    if (!auth.isLoading()) {
        showPopover();
        return;
    }
    auto ended = std::make_shared<QMetaObject::Connection>();
    *ended = connect(&auth, &AuthService::isLoadingChanged, this, [this, &auth, ended] {
        if (auth.isLoading())
            return;
        disconnect(*ended);
        showPopover();
    });
}
