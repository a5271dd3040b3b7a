#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// A desktop portal with the GlobalShortcuts interface, on a bus connection of its own, for
// machines where no portal backend runs. It checks what xdg-desktop-portal checks (argument
// types, tokens, sessions) and answers each request on its Request object straight after the
// method's reply, the earliest a real portal could.
class FakeShortcutPortal : public QDBusVirtualObject
{
public:
    struct Shortcut
    {
        QString id;
        QVariantMap properties;
    };

    // Without the interface it is a portal older than the interface.
    explicit FakeShortcutPortal(bool withGlobalShortcuts = true);
    ~FakeShortcutPortal() override;

    // What the compositor sends when the user presses a bound shortcut.
    void press(const QString &sessionPath, const QString &shortcutId);
    // The desktop ending a session by itself (the user revoked it, the portal restarted).
    void endSession(const QString &sessionPath);

    // The user's answer to BindShortcuts: 0 accepts, 1 declines.
    uint bindingResponse = 0;
    // Whether an accepted BindShortcuts binds the shortcuts and names them in its results; a
    // desktop may answer success and bind nothing.
    bool bindsShortcuts = true;

    QStringList sessions;
    QList<Shortcut> boundShortcuts;
    QStringList closedSessions;

    QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

private:
    void createSession(const QDBusMessage &message);
    void bindShortcuts(const QDBusMessage &message);
    void respond(const QString &requestPath, uint response, const QVariantMap &results);

    QDBusConnection bus;
    bool hasInterface;
};
