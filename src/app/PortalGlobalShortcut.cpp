#include "app/PortalGlobalShortcut.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QList>
#include <QMetaType>
#include <QVariant>
#include <algorithm>
#include <atomic>
#include <utility>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");

// The interface's first version, as xdg-desktop-portal 1.16 ships it, is all we use.
constexpr uint requiredVersion = 1;
// Answers on a request's Response; anything else is the portal's own failure.
constexpr uint responseSuccess = 0;
constexpr uint responseCancelled = 1;

const QString noInterface = QStringLiteral("the desktop portal has no GlobalShortcuts interface");
const QString noSession = QStringLiteral("the desktop portal did not open a shortcut session");
const QString refused = QStringLiteral("the portal refused the shortcut");
const QString notBound = QStringLiteral("the desktop portal did not bind the shortcut");
const QString cannotListen = QStringLiteral("the desktop portal's answers cannot be received");

// One entry of BindShortcuts' a(sa{sv}): an id and its properties.
struct Shortcut
{
    QString id;
    QVariantMap properties;
};

QDBusArgument &operator<<(QDBusArgument &argument, const Shortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, Shortcut &shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

const QString shortcutsKey = QStringLiteral("shortcuts");

// Our one shortcut; the desktop may let the user choose another trigger for it.
QList<Shortcut> ourShortcuts()
{
    return {{QString::fromLatin1(PortalGlobalShortcut::shortcutId),
             {{QStringLiteral("description"), QStringLiteral("Show or hide Vessa")},
              {QStringLiteral("preferred_trigger"), QStringLiteral("CTRL+SHIFT+m")}}}};
}

// A request's results name the shortcuts the desktop holds for the session; a success that does
// not name ours binds nothing.
bool holdsOurShortcut(const QVariantMap &results)
{
    const QVariant value = results.value(shortcutsKey);
    if (value.value<QDBusArgument>().currentSignature() != QLatin1StringView("a(sa{sv})"))
        return false;
    const auto held = qdbus_cast<QList<Shortcut>>(value);
    return std::any_of(held.cbegin(), held.cend(), [](const Shortcut &shortcut) {
        return shortcut.id == QLatin1StringView(PortalGlobalShortcut::shortcutId);
    });
}

QDBusMessage versionQuery()
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        portalService, portalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << shortcutsInterface << QStringLiteral("version");
    return get;
}

uint versionOf(const QDBusMessage &reply)
{
    return reply.arguments().value(0).value<QDBusVariant>().variant().toUInt();
}

// A request or session token, unique within the process; the portal adds our unique bus name.
QString newToken()
{
    static std::atomic<uint> issued{0};
    return QStringLiteral("vessa%1").arg(++issued);
}

} // namespace

PortalGlobalShortcut::PortalGlobalShortcut(QDBusConnection bus, QObject *parent)
    : QObject(parent)
    , connection(std::move(bus))
{
    // Qt matches a D-Bus slot's parameters by type name, and knows a name only once its type is
    // registered: until something else registers the object path, connecting to Activated fails.
    qRegisterMetaType<QDBusObjectPath>();
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
}

PortalGlobalShortcut::~PortalGlobalShortcut()
{
    stop();
}

void PortalGlobalShortcut::start()
{
    stop();
    // 1. The portal must offer the interface.
    state = State::checkingInterface;
    callAsync(versionQuery(), &PortalGlobalShortcut::handleVersion);
}

void PortalGlobalShortcut::handleVersion(const QDBusMessage &reply)
{
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const QDBusError::ErrorType error = QDBusError(reply).type();
        const bool noPortal =
            error == QDBusError::ServiceUnknown || error == QDBusError::Disconnected;
        fail(noPortal ? QStringLiteral("no desktop portal is running") : noInterface);
        return;
    }
    if (versionOf(reply) < requiredVersion) {
        fail(noInterface);
        return;
    }
    // 2. Presses are heard from here on, from whoever answered as the portal.
    portal = reply.service();
    if (!listenForPresses(true)) {
        fail(cannotListen);
        return;
    }
    // 3. A session, which holds the binding for as long as it stays open. KDE Plasma 5.27 binds
    // only the shortcuts given here and ignores those of BindShortcuts; other desktops drop them.
    state = State::creatingSession;
    request(QStringLiteral("CreateSession"), {},
            {{QStringLiteral("session_handle_token"), newToken()},
             {shortcutsKey, QVariant::fromValue(ourShortcuts())}});
}

void PortalGlobalShortcut::openSession(const QVariantMap &sessionResults)
{
    // Documented as an object path, sent as a string by xdg-desktop-portal: either is taken.
    const QVariant handle = sessionResults.value(QStringLiteral("session_handle"));
    sessionPath = handle.metaType() == QMetaType::fromType<QDBusObjectPath>()
                      ? handle.value<QDBusObjectPath>().path()
                      : handle.toString();
    if (sessionPath.isEmpty() || !listenForSessionEnd(true)) {
        fail(noSession);
        return;
    }
    // A desktop that took the shortcut with the session holds it already; asking again would
    // only open its settings page, as Plasma 5.27 does on every BindShortcuts.
    if (holdsOurShortcut(sessionResults)) {
        state = State::bound;
        emit bound();
        return;
    }
    // 4. The shortcut itself, which the desktop may show the user to confirm.
    state = State::binding;
    // No parent window: the tray icon has none that the portal's dialog could attach to.
    request(QStringLiteral("BindShortcuts"),
            {QVariant::fromValue(QDBusObjectPath(sessionPath)), QVariant::fromValue(ourShortcuts()),
             QString()},
            {});
}

void PortalGlobalShortcut::request(const QString &method, QVariantList arguments,
                                   QVariantMap options)
{
    // The request object's path follows from our unique name and the token, so its Response is
    // subscribed to before the portal can send it. Portals that offer this interface all honour
    // the token.
    const QString token = newToken();
    const QString sender =
        connection.baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
    requestPath = portalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
    if (!listenForResponse(true)) {
        fail(cannotListen);
        return;
    }

    options.insert(QStringLiteral("handle_token"), token);
    arguments.append(options);
    QDBusMessage call =
        QDBusMessage::createMethodCall(portalService, portalPath, shortcutsInterface, method);
    call.setArguments(arguments);
    callAsync(call, &PortalGlobalShortcut::handleRequestReply);
}

void PortalGlobalShortcut::handleRequestReply(const QDBusMessage &reply)
{
    // A request that was taken answers on its Response; only a refused call ends here.
    if (reply.type() == QDBusMessage::ErrorMessage)
        fail(state == State::creatingSession ? noSession : refused);
}

void PortalGlobalShortcut::handleResponse(uint response, const QVariantMap &results,
                                          const QDBusMessage &message)
{
    if (message.service() != portal || message.path() != requestPath)
        return;
    listenForResponse(false);
    requestPath.clear();

    if (response != responseSuccess) {
        if (state == State::creatingSession)
            fail(noSession);
        else
            fail(response == responseCancelled ? QStringLiteral("the shortcut was declined")
                                               : refused);
        return;
    }
    if (state == State::creatingSession) {
        openSession(results);
    } else if (state == State::binding && !holdsOurShortcut(results)) {
        fail(notBound);
    } else if (state == State::binding) {
        state = State::bound;
        emit bound();
    }
}

void PortalGlobalShortcut::handleActivated(const QDBusObjectPath &session, const QString &shortcut,
                                           qulonglong, const QVariantMap &,
                                           const QDBusMessage &message)
{
    // The portal tells every session of ours, and may hold shortcuts we did not ask for.
    if (message.service() == portal && !sessionPath.isEmpty() && session.path() == sessionPath &&
        shortcut == QLatin1StringView(shortcutId))
        emit activated();
}

void PortalGlobalShortcut::handleSessionClosed(const QVariantMap &, const QDBusMessage &message)
{
    if (message.service() != portal || message.path() != sessionPath)
        return;
    // Already gone on the desktop's side: nothing to close there.
    listenForSessionEnd(false);
    sessionPath.clear();
    fail(QStringLiteral("the desktop ended the shortcut session"));
}

void PortalGlobalShortcut::stop()
{
    // Calls still in flight answer to nobody.
    const auto watchers = findChildren<QDBusPendingCallWatcher *>(Qt::FindDirectChildrenOnly);
    for (QDBusPendingCallWatcher *watcher : watchers) {
        watcher->disconnect(this);
        watcher->deleteLater();
    }
    if (!requestPath.isEmpty()) {
        listenForResponse(false);
        // Takes the portal's dialog away if the user has not answered it yet.
        connection.send(QDBusMessage::createMethodCall(portalService, requestPath, requestInterface,
                                                       QStringLiteral("Close")));
        requestPath.clear();
    }
    if (!portal.isEmpty()) {
        listenForPresses(false);
        portal.clear();
    }
    if (!sessionPath.isEmpty()) {
        listenForSessionEnd(false);
        // The desktop drops the binding with the session; it would otherwise last until we quit.
        connection.send(QDBusMessage::createMethodCall(portalService, sessionPath, sessionInterface,
                                                       QStringLiteral("Close")));
        sessionPath.clear();
    }
    state = State::idle;
}

void PortalGlobalShortcut::callAsync(const QDBusMessage &message,
                                     void (PortalGlobalShortcut::*next)(const QDBusMessage &))
{
    auto *watcher = new QDBusPendingCallWatcher(connection.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, next](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                (this->*next)(finished->reply());
            });
}

// The hooks take any sender and the slots check that it is the portal: a hook that names its
// sender makes Qt look the name's owner up with a blocking call.
bool PortalGlobalShortcut::listenForResponse(bool listen)
{
    const QString name = QStringLiteral("Response");
    const char *slot = SLOT(handleResponse(uint, QVariantMap, QDBusMessage));
    return listen
               ? connection.connect(QString(), requestPath, requestInterface, name, this, slot)
               : connection.disconnect(QString(), requestPath, requestInterface, name, this, slot);
}

bool PortalGlobalShortcut::listenForPresses(bool listen)
{
    const QString name = QStringLiteral("Activated");
    const char *slot =
        SLOT(handleActivated(QDBusObjectPath, QString, qulonglong, QVariantMap, QDBusMessage));
    return listen
               ? connection.connect(QString(), portalPath, shortcutsInterface, name, this, slot)
               : connection.disconnect(QString(), portalPath, shortcutsInterface, name, this, slot);
}

bool PortalGlobalShortcut::listenForSessionEnd(bool listen)
{
    const QString name = QStringLiteral("Closed");
    const char *slot = SLOT(handleSessionClosed(QVariantMap, QDBusMessage));
    return listen
               ? connection.connect(QString(), sessionPath, sessionInterface, name, this, slot)
               : connection.disconnect(QString(), sessionPath, sessionInterface, name, this, slot);
}

void PortalGlobalShortcut::fail(const QString &reason)
{
    stop();
    emit failed(reason);
}
