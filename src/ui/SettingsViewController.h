#pragma once

#include "model/Lifetime.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

class AuthService;

// The settings screen's sign-out: progress while it runs, dismissal when it is done, and the
// button back when it fails.
class SettingsViewController : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool isLoggingOut READ isLoggingOut NOTIFY isLoggingOutChanged)
    Q_PROPERTY(bool hasAccount READ hasAccount NOTIFY accountChanged)
    Q_PROPERTY(QString accountName READ accountName NOTIFY accountChanged)
    Q_PROPERTY(QString accountEmail READ accountEmail NOTIFY accountChanged)
    Q_PROPERTY(QString version READ version CONSTANT)

public:
    explicit SettingsViewController(QObject *parent = nullptr);
    explicit SettingsViewController(AuthService &authService, QObject *parent = nullptr);
    ~SettingsViewController() override;

    bool isLoggingOut() const { return m_isLoggingOut; }
    // Whether a user is signed in, whose card the screen shows.
    bool hasAccount() const;
    // First and last name; empty unless the user record has both.
    QString accountName() const;
    QString accountEmail() const;
    // The application's version, the one its About box shows too.
    static QString version();

    Q_INVOKABLE void signOut();
    QCoro::Task<> runSignOut();

signals:
    void isLoggingOutChanged();
    void accountChanged();
    // The screen should close: the user is signed out.
    void dismissRequested();

private:
    void setIsLoggingOut(bool isLoggingOut);

    AuthService &authService;
    bool m_isLoggingOut = false;
    Lifetime lifetime;
};
