#pragma once

#include "model/Lifetime.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <optional>

class AuthService;

// The sign-in screen's action and its alert. The sign-in itself, with its progress, belongs to
// the sign-in service; a failure, a cancel included, is shown here with its description.
class LoginViewController : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString errorMessage READ errorText NOTIFY errorMessageChanged)
    Q_PROPERTY(bool showError READ showError WRITE setShowError NOTIFY showErrorChanged)

public:
    explicit LoginViewController(QObject *parent = nullptr);
    explicit LoginViewController(AuthService &authService, QObject *parent = nullptr);
    ~LoginViewController() override;

    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    // The alert's text: the failure's description, or "An error occurred" without one.
    QString errorText() const;
    bool showError() const { return m_showError; }
    void setShowError(bool show);

    Q_INVOKABLE void signIn();
    // Nothing tells the application that the browser tab was closed, so the user can give up
    // waiting for it here.
    Q_INVOKABLE void cancelSignIn();
    QCoro::Task<> runSignIn();

signals:
    void errorMessageChanged();
    void showErrorChanged();

private:
    AuthService &authService;
    std::optional<QString> m_errorMessage;
    bool m_showError = false;
    Lifetime lifetime;
};
