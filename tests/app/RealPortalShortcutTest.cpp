#include "app/PortalGlobalShortcut.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QFileInfo>
#include <QKeySequence>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

// Debian's own desktop portal with the KDE backend and KDE's shortcut daemon, on a private session
// bus (dbus-run-session) where nothing is activatable: the test starts each service itself, with
// a home of its own, so what the daemon stores never reaches the user's settings. The KDE
// services run on Qt's offscreen platform: a press sent to the daemon over D-Bus needs no display.

namespace {

const QString daemonService = QStringLiteral("org.kde.kglobalaccel");
const QString componentInterface = QStringLiteral("org.kde.kglobalaccel.Component");
const QString toggle = QStringLiteral("toggle-popover");

// Services start in about a second; the limit only turns a service that never comes into a failure.
bool waitForName(const QString &name)
{
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    return QTest::qWaitFor([&] { return bus->isServiceRegistered(name).value(); }, 15000);
}

class KdeDesktop
{
public:
    KdeDesktop()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"),
                           home.filePath(QStringLiteral("cache")));
        // The portal takes the backends whose UseIn names the desktop.
        environment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("KDE"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

        // The backend asks the daemon for its component when a session opens, and the portal
        // looks its backends up when it starts: each comes after the one it needs.
        start(QStringLiteral(KGLOBALACCEL_DAEMON), daemonService, environment);
        start(QStringLiteral(PORTAL_KDE_BACKEND),
              QStringLiteral("org.freedesktop.impl.portal.desktop.kde"), environment);
        start(QStringLiteral(DESKTOP_PORTAL), QStringLiteral("org.freedesktop.portal.Desktop"),
              environment);
    }

    ~KdeDesktop()
    {
        for (auto it = services.rbegin(); it != services.rend(); ++it) {
            (*it)->terminate();
            (*it)->waitForFinished(5000);
        }
    }

    KdeDesktop(const KdeDesktop &) = delete;
    KdeDesktop &operator=(const KdeDesktop &) = delete;

    // The daemon's component holding the shortcut, where presses are made; empty when none does.
    QString componentWith(const QString &shortcut) const
    {
        const QDBusReply<QList<QDBusObjectPath>> components =
            daemon(QStringLiteral("/kglobalaccel"), QStringLiteral("org.kde.KGlobalAccel"),
                   QStringLiteral("allComponents"), {});
        for (const QDBusObjectPath &component : components.value()) {
            const QDBusReply<QStringList> names =
                daemon(component.path(), componentInterface, QStringLiteral("shortcutNames"), {});
            if (names.value().contains(shortcut))
                return component.path();
        }
        return {};
    }

    QList<int> keysOf(const QString &component, const QString &shortcut) const
    {
        // An action is named by component, action and their two display names, which may be empty.
        const QStringList action{component.section(QLatin1Char('/'), -1), shortcut, QString(),
                                 QString()};
        const QDBusReply<QList<int>> keys =
            daemon(QStringLiteral("/kglobalaccel"), QStringLiteral("org.kde.KGlobalAccel"),
                   QStringLiteral("shortcut"), {action});
        return keys.value();
    }

    // What the daemon does when the user presses the shortcut's keys.
    void press(const QString &component, const QString &shortcut) const
    {
        daemon(component, componentInterface, QStringLiteral("invokeShortcut"), {shortcut});
    }

    QStringList missing;

private:
    void start(const QString &program, const QString &name, const QProcessEnvironment &environment)
    {
        if (!QFileInfo(program).isExecutable()) {
            missing.append(program);
            return;
        }
        auto &process = services.emplace_back(std::make_unique<QProcess>());
        process->setProcessEnvironment(environment);
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        process->start(program, {});
        EXPECT_TRUE(waitForName(name)) << name.toStdString() << " did not come on the bus";
    }

    static QDBusMessage daemon(const QString &path, const QString &interface, const QString &method,
                               const QVariantList &arguments)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(daemonService, path, interface, method);
        call.setArguments(arguments);
        return QDBusConnection::sessionBus().call(call);
    }

    QTemporaryDir home;
    std::vector<std::unique_ptr<QProcess>> services;
};

} // namespace

TEST(RealPortalShortcut, BindsCtrlShiftMOnTheKdeDesktopAndHearsItsPresses)
{
    KdeDesktop desktop;
    ASSERT_TRUE(desktop.missing.isEmpty())
        << desktop.missing.join(QLatin1Char(' ')).toStdString()
        << " missing: apt-get install xdg-desktop-portal xdg-desktop-portal-kde "
           "libkf5globalaccel-bin";

    PortalGlobalShortcut shortcut;
    QSignalSpy bound(&shortcut, &PortalGlobalShortcut::bound);
    QSignalSpy activated(&shortcut, &PortalGlobalShortcut::activated);
    QSignalSpy failed(&shortcut, &PortalGlobalShortcut::failed);
    shortcut.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !bound.isEmpty() || !failed.isEmpty(); }, 10000));
    ASSERT_TRUE(failed.isEmpty()) << failed.first().first().toString().toStdString();

    // Bound means the desktop holds the keys, not only that the portal said yes.
    const QString component = desktop.componentWith(toggle);
    ASSERT_FALSE(component.isEmpty()) << "the portal answered, but the desktop holds no shortcut";
    EXPECT_EQ(desktop.keysOf(component, toggle),
              QList<int>{QKeySequence(QStringLiteral("Ctrl+Shift+M"))[0].toCombined()});

    desktop.press(component, toggle);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !activated.isEmpty(); }, 5000));
}
