#pragma once

#include "identity/AuthService.h"
#include "identity/KeychainService.h"
#include "support/ScriptedHttpServer.h"
#include "ui/VoiceChatViewController.h"

#include <QJSEngine>
#include <QObject>
#include <QTemporaryDir>
#include <QtQml/qqmlregistration.h>
#include <memory>

// Voice screens in states only C++ can set up, made with the screen's own C++ constructor: the
// signed-in user's, whose session waits on a server that never answers, and one of a sign-in
// service nobody is signed in to. A new screen replaces the one made before it.
class VoiceScreens : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    explicit VoiceScreens(QObject *parent = nullptr)
        : QObject(parent)
    {
        ScriptedReply silence;
        silence.neverAnswer = true;
        silentServer.route("POST", "/api/offer", silence);
    }

    Q_INVOKABLE VoiceChatViewController *connecting()
    {
        return replaceScreen(AuthService::shared());
    }
    Q_INVOKABLE VoiceChatViewController *signedOut() { return replaceScreen(signedOutAuth); }

private:
    VoiceChatViewController *replaceScreen(AuthService &auth)
    {
        screen.reset();
        screen = std::make_unique<VoiceChatViewController>(
            auth, std::make_unique<VoiceChatService>(
                      silentServer.url("").toString(),
                      RtcMediaDevices{QStringLiteral("audiotestsrc is-live=true wave=silence"),
                                      QStringLiteral("fakesink"),
                                      {QStringLiteral("127.0.0.1")}}));
        QJSEngine::setObjectOwnership(screen.get(), QJSEngine::CppOwnership);
        return screen.get();
    }

    ScriptedHttpServer silentServer;
    QTemporaryDir emptyFolder;
    KeychainService emptyStore{emptyFolder.path()};
    AuthService signedOutAuth{emptyStore,
                              QUrl(QStringLiteral("http://127.0.0.1:9")),
                              QUrl(QStringLiteral("http://127.0.0.1:9")),
                              QStringLiteral("client"),
                              QString(),
                              [](const QUrl &) { return true; }};
    std::unique_ptr<VoiceChatViewController> screen;
};
