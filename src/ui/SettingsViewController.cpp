#include "ui/SettingsViewController.h"

#include "Configuration.h"
#include "identity/AuthService.h"

#include <exception>

SettingsViewController::SettingsViewController(QObject *parent)
    : SettingsViewController(AuthService::shared(), parent)
{}

SettingsViewController::SettingsViewController(AuthService &auth, QObject *parent)
    : QObject(parent)
    , authService(auth)
{
    connect(&authService, &AuthService::currentUserChanged, this,
            &SettingsViewController::accountChanged);
}

SettingsViewController::~SettingsViewController()
{
    lifetime.end();
}

bool SettingsViewController::hasAccount() const
{
    return authService.currentUser().has_value();
}

QString SettingsViewController::accountName() const
{
    const std::optional<User> &user = authService.currentUser();
    if (!user || !user->firstName || !user->lastName)
        return {};
    return *user->firstName + QLatin1Char(' ') + *user->lastName;
}

QString SettingsViewController::accountEmail() const
{
    const std::optional<User> &user = authService.currentUser();
    return user ? user->email : QString();
}

QString SettingsViewController::version()
{
    return QString::fromLatin1(Configuration::version);
}

void SettingsViewController::signOut()
{
    const auto started = runSignOut();
}

QCoro::Task<> SettingsViewController::runSignOut()
{
    if (m_isLoggingOut)
        co_return;
    const Lifetime::Guard guard = lifetime.guard();
    setIsLoggingOut(true);
    bool failed = false;
    try {
        co_await authService.signOut();
    } catch (const std::exception &) {
        failed = true;
    }
    if (!guard)
        co_return;
    // A failed sign-out gives the button back without a message.
    if (failed)
        setIsLoggingOut(false);
    else
        emit dismissRequested();
}

void SettingsViewController::setIsLoggingOut(bool isLoggingOut)
{
    if (isLoggingOut == m_isLoggingOut)
        return;
    m_isLoggingOut = isLoggingOut;
    emit isLoggingOutChanged();
}
