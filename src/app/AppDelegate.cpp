#include "app/AppDelegate.h"

#include "identity/AuthService.h"

#include <QCoreApplication>
#include <QString>
#include <QThread>
#include <utility>

AppDelegate::AuthServiceProvider AppDelegate::sharedAuthService()
{
    return []() -> AuthService & { return AuthService::shared(); };
}

AppDelegate::AppDelegate(AuthServiceProvider authServiceProvider, QObject *parent)
    : QObject(parent)
    , authService(std::move(authServiceProvider))
{}

void AppDelegate::openURLs(const QList<QUrl> &urls)
{
    Q_ASSERT(QThread::currentThread() == QCoreApplication::instance()->thread());
    for (const QUrl &url : urls) {
        // 1. Only the application's own scheme carries sign-in callbacks.
        if (url.scheme() != QLatin1StringView(AuthService::callbackScheme))
            continue;
        // 2. The waiting sign-in takes the URL and stops waiting, so a second callback for the
        //    same sign-in finds nothing to resume.
        authService().resumeAuthContinuation(url);
    }
}
