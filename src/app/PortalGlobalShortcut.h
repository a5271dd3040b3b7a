#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

// The hot key on Wayland, where no client may watch the keyboard: we ask the desktop portal's
// GlobalShortcuts interface to bind it, and the compositor tells us when it is pressed.
//
// Every portal request answers twice: the method returns a request object at once, and that
// object's Response signal carries the outcome later, once the user has decided. The signal may
// come straight after the method's reply, so each request subscribes to it before it is made.
class PortalGlobalShortcut : public QObject
{
    Q_OBJECT

public:
    static constexpr char shortcutId[] = "toggle-popover";

    explicit PortalGlobalShortcut(QDBusConnection bus = QDBusConnection::sessionBus(),
                                  QObject *parent = nullptr);
    // Closes the session, so the desktop forgets the binding with us.
    ~PortalGlobalShortcut() override;

    // Asks the portal for the shortcut; ends in bound() or failed(reason), never inside this call.
    // Asynchronous throughout: the user may take as long as they like over the portal's dialog.
    void start();
    // Withdraws what was asked for and closes the session; no signal comes afterwards.
    void stop();

signals:
    void bound();
    // The user pressed the shortcut.
    void activated();
    void failed(const QString &reason);

private slots:
    void handleResponse(uint response, const QVariantMap &results, const QDBusMessage &message);
    void handleActivated(const QDBusObjectPath &session, const QString &shortcut,
                         qulonglong timestamp, const QVariantMap &options,
                         const QDBusMessage &message);
    void handleSessionClosed(const QVariantMap &details, const QDBusMessage &message);

private:
    enum class State
    {
        idle,
        checkingInterface,
        creatingSession,
        binding,
        bound,
    };

    void handleVersion(const QDBusMessage &reply);
    void request(const QString &method, QVariantList arguments, QVariantMap options);
    void handleRequestReply(const QDBusMessage &reply);
    void openSession(const QVariantMap &sessionResults);
    void callAsync(const QDBusMessage &message,
                   void (PortalGlobalShortcut::*next)(const QDBusMessage &));
    bool listenForResponse(bool listen);
    bool listenForPresses(bool listen);
    bool listenForSessionEnd(bool listen);
    void fail(const QString &reason);

    QDBusConnection connection;
    State state = State::idle;
    // The portal's unique name: signals are taken from it alone, so no other client on the bus
    // can press the shortcut for the user.
    QString portal;
    QString requestPath;
    QString sessionPath;
};
