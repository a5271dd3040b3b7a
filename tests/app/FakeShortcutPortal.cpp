#include "FakeShortcutPortal.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QVariant>
#include <QVariantList>
#include <gtest/gtest.h>

namespace {

const QString connectionName = QStringLiteral("fake-portal");
const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");

// The caller's unique name as a path element: ":1.42" becomes "1_42".
QString pathElementOf(const QDBusMessage &message)
{
    return message.service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
}

QString handleFor(const QString &kind, const QDBusMessage &message, const QString &token)
{
    return portalPath + QLatin1Char('/') + kind + QLatin1Char('/') + pathElementOf(message) +
           QLatin1Char('/') + token;
}

} // namespace

QDBusArgument &operator<<(QDBusArgument &argument, const FakeShortcutPortal::Shortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument,
                                FakeShortcutPortal::Shortcut &shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

FakeShortcutPortal::FakeShortcutPortal(bool withGlobalShortcuts)
    : bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName))
    , hasInterface(withGlobalShortcuts)
{
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
    EXPECT_TRUE(bus.registerVirtualObject(portalPath, this, QDBusConnection::SubPath));
    EXPECT_TRUE(bus.registerService(portalService));
}

FakeShortcutPortal::~FakeShortcutPortal()
{
    bus.unregisterService(portalService);
    bus.unregisterObject(portalPath, QDBusConnection::UnregisterTree);
    QDBusConnection::disconnectFromBus(connectionName);
}

void FakeShortcutPortal::press(const QString &sessionPath, const QString &shortcutId)
{
    QDBusMessage activated =
        QDBusMessage::createSignal(portalPath, shortcutsInterface, QStringLiteral("Activated"));
    activated << QVariant::fromValue(QDBusObjectPath(sessionPath)) << shortcutId
              << QVariant::fromValue(qulonglong{0}) << QVariantMap();
    bus.send(activated);
}

void FakeShortcutPortal::endSession(const QString &sessionPath)
{
    QDBusMessage closed =
        QDBusMessage::createSignal(sessionPath, sessionInterface, QStringLiteral("Closed"));
    closed << QVariantMap();
    bus.send(closed);
}

QString FakeShortcutPortal::introspect(const QString &) const
{
    return {};
}

bool FakeShortcutPortal::handleMessage(const QDBusMessage &message, const QDBusConnection &)
{
    const QString interface = message.interface();
    const QString member = message.member();
    if (interface == QStringLiteral("org.freedesktop.DBus.Properties") &&
        member == QStringLiteral("Get")) {
        const QVariantList arguments = message.arguments();
        if (hasInterface && arguments.value(0).toString() == shortcutsInterface &&
            arguments.value(1).toString() == QStringLiteral("version"))
            bus.send(message.createReply(QVariant::fromValue(QDBusVariant(1U))));
        else
            bus.send(message.createErrorReply(QDBusError::InvalidArgs,
                                              QStringLiteral("No such interface or property")));
    } else if (hasInterface && interface == shortcutsInterface &&
               member == QStringLiteral("CreateSession")) {
        createSession(message);
    } else if (hasInterface && interface == shortcutsInterface &&
               member == QStringLiteral("BindShortcuts")) {
        bindShortcuts(message);
    } else if (interface == sessionInterface && member == QStringLiteral("Close") &&
               sessions.contains(message.path())) {
        closedSessions.append(message.path());
        bus.send(message.createReply());
    } else {
        return false;
    }
    return true;
}

void FakeShortcutPortal::createSession(const QDBusMessage &message)
{
    const auto options = qdbus_cast<QVariantMap>(message.arguments().at(0));
    const QString token = options.value(QStringLiteral("handle_token")).toString();
    const QString sessionToken = options.value(QStringLiteral("session_handle_token")).toString();
    // A real portal makes up missing tokens, and the caller then cannot know where to listen.
    if (token.isEmpty() || sessionToken.isEmpty()) {
        bus.send(message.createErrorReply(QDBusError::InvalidArgs, QStringLiteral("no tokens")));
        return;
    }

    const QString request = handleFor(QStringLiteral("request"), message, token);
    const QString session = handleFor(QStringLiteral("session"), message, sessionToken);
    sessions.append(session);
    // The Response follows the method's reply at once, the earliest a real portal could send it.
    bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
    // A string, not an object path, as xdg-desktop-portal sends it.
    respond(request, 0, {{QStringLiteral("session_handle"), session}});
}

void FakeShortcutPortal::bindShortcuts(const QDBusMessage &message)
{
    if (message.signature() != QStringLiteral("oa(sa{sv})sa{sv}")) {
        bus.send(message.createErrorReply(QDBusError::InvalidArgs, message.signature()));
        return;
    }
    const QVariantList arguments = message.arguments();
    const QString session = arguments.at(0).value<QDBusObjectPath>().path();
    if (!sessions.contains(session) || closedSessions.contains(session)) {
        bus.send(
            message.createErrorReply(QDBusError::AccessDenied, QStringLiteral("Invalid session")));
        return;
    }

    const auto shortcuts = qdbus_cast<QList<Shortcut>>(arguments.at(1));
    boundShortcuts.append(shortcuts);
    // What a desktop answers for each shortcut it holds: the trigger as the user would read it.
    QList<Shortcut> held;
    for (const Shortcut &shortcut : bindsShortcuts ? shortcuts : QList<Shortcut>()) {
        held.append({shortcut.id,
                     {{QStringLiteral("description"),
                       shortcut.properties.value(QStringLiteral("description"))},
                      {QStringLiteral("trigger_description"),
                       shortcut.properties.value(QStringLiteral("preferred_trigger"))}}});
    }

    const auto options = qdbus_cast<QVariantMap>(arguments.at(3));
    const QString request = handleFor(QStringLiteral("request"), message,
                                      options.value(QStringLiteral("handle_token")).toString());
    bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
    respond(request, bindingResponse, {{QStringLiteral("shortcuts"), QVariant::fromValue(held)}});
}

void FakeShortcutPortal::respond(const QString &requestPath, uint response,
                                 const QVariantMap &results)
{
    QDBusMessage signal =
        QDBusMessage::createSignal(requestPath, requestInterface, QStringLiteral("Response"));
    signal << response << results;
    bus.send(signal);
}
