#pragma once

#include "identity/AuthService.h"

#include <QJSEngine>
#include <QObject>
#include <QQmlEngine>
#include <QtQml/qqmlregistration.h>

// Hands QML the sign-in service that the application's owner made; QML never creates one and
// never deletes it.
struct AuthServiceSingleton
{
    Q_GADGET
    QML_FOREIGN(AuthService)
    QML_NAMED_ELEMENT(AuthService)
    QML_SINGLETON

public:
    static AuthService *create(QQmlEngine *, QJSEngine *)
    {
        AuthService *service = &AuthService::shared();
        QJSEngine::setObjectOwnership(service, QJSEngine::CppOwnership);
        return service;
    }
};
