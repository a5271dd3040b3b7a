#pragma once

#include "model/Lifetime.h"
#include "ui/ErrorAlertState.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

class AuthService;

// The sign-in screen's action and its alert. The sign-in itself, with its progress, belongs to
// the sign-in service; a failure, a cancel included, is shown here with its description.
class LoginViewController : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(ErrorAlertState *alert READ alert CONSTANT)

public:
    explicit LoginViewController(QObject *parent = nullptr);
    explicit LoginViewController(AuthService &authService, QObject *parent = nullptr);
    ~LoginViewController() override;

    ErrorAlertState *alert() { return &m_alert; }

    Q_INVOKABLE void signIn();
    // Nothing tells the application that the browser tab was closed, so the user can give up
    // waiting for it here.
    Q_INVOKABLE void cancelSignIn();
    QCoro::Task<> runSignIn();

private:
    AuthService &authService;
    ErrorAlertState m_alert;
    Lifetime lifetime;
};
