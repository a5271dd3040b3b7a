#include "ui/LoginViewController.h"

#include "identity/AuthService.h"
#include "model/Excerpt.h"

#include <exception>

LoginViewController::LoginViewController(QObject *parent)
    : LoginViewController(AuthService::shared(), parent)
{}

LoginViewController::LoginViewController(AuthService &auth, QObject *parent)
    : QObject(parent)
    , authService(auth)
{}

LoginViewController::~LoginViewController()
{
    lifetime.end();
}

QString LoginViewController::errorText() const
{
    return m_errorMessage.value_or(QStringLiteral("An error occurred"));
}

void LoginViewController::setShowError(bool show)
{
    if (show == m_showError)
        return;
    m_showError = show;
    emit showErrorChanged();
}

void LoginViewController::signIn()
{
    const auto started = runSignIn();
}

void LoginViewController::cancelSignIn()
{
    authService.cancelSignIn();
}

QCoro::Task<> LoginViewController::runSignIn()
{
    const Lifetime::Guard guard = lifetime.guard();
    std::optional<QString> failure;
    try {
        co_await authService.signIn();
    } catch (const std::exception &error) {
        failure = QString::fromUtf8(error.what());
    }
    // On success the popover switches to the chat by itself.
    if (!guard || !failure)
        co_return;
    // A decoder's message may quote most of what the server sent.
    m_errorMessage = Excerpt::of(*failure);
    emit errorMessageChanged();
    setShowError(true);
}
