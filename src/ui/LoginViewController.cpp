#include "ui/LoginViewController.h"

#include "identity/AuthService.h"

#include <exception>
#include <optional>

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
    if (guard && failure)
        m_alert.show(*failure);
}
