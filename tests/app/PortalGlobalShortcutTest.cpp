#include "app/PortalGlobalShortcut.h"

#include "FakeShortcutPortal.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QSignalSpy>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <utility>

// Runs on a private session bus (dbus-run-session) where nothing is activatable: the fake is the
// only portal that can answer, on its own connection, while the shortcut uses the default one.

namespace {

const QString toggle = QStringLiteral("toggle-popover");

// The portal answers within milliseconds; the limit only turns a lost answer into a failure.
bool waitFor(const QSignalSpy &spy, qsizetype count = 1)
{
    return QTest::qWaitFor([&] { return spy.size() >= count; }, 2000);
}

bool waitFor(const QStringList &list, qsizetype count = 1)
{
    return QTest::qWaitFor([&] { return list.size() >= count; }, 2000);
}

struct Spies
{
    explicit Spies(PortalGlobalShortcut &shortcut)
        : bound(&shortcut, &PortalGlobalShortcut::bound)
        , activated(&shortcut, &PortalGlobalShortcut::activated)
        , failed(&shortcut, &PortalGlobalShortcut::failed)
    {}

    QString reason() const
    {
        return failed.isEmpty() ? QString() : failed.first().first().toString();
    }

    QSignalSpy bound;
    QSignalSpy activated;
    QSignalSpy failed;
};

} // namespace

TEST(PortalGlobalShortcut, BindsTheToggleAndHearsOnlyItsOwnPresses)
{
    FakeShortcutPortal portal;
    PortalGlobalShortcut shortcut;
    Spies spies(shortcut);

    shortcut.start();
    ASSERT_TRUE(waitFor(spies.bound)) << spies.reason().toStdString();
    ASSERT_EQ(portal.boundShortcuts.size(), 1);
    EXPECT_EQ(portal.boundShortcuts.first().id, toggle);
    EXPECT_EQ(portal.boundShortcuts.first().properties,
              (QVariantMap{{QStringLiteral("description"), QStringLiteral("Show or hide Vessa")},
                           {QStringLiteral("preferred_trigger"), QStringLiteral("CTRL+SHIFT+m")}}));

    // Signals from one sender arrive in order: the last press proves the others were seen.
    const QString session = portal.sessions.first();
    portal.press(session, QStringLiteral("another-shortcut"));
    portal.press(QStringLiteral("/org/freedesktop/portal/desktop/session/1_999/other"), toggle);
    portal.press(session, toggle);
    ASSERT_TRUE(waitFor(spies.activated));
    QCoreApplication::processEvents();
    EXPECT_EQ(spies.activated.size(), 1);
    EXPECT_TRUE(spies.failed.isEmpty());

    // The desktop may end the session by itself; then the shortcut is gone, and said to be.
    portal.endSession(session);
    ASSERT_TRUE(waitFor(spies.failed));
    EXPECT_EQ(spies.reason(), QStringLiteral("the desktop ended the shortcut session"));
    EXPECT_TRUE(portal.closedSessions.isEmpty());
}

TEST(PortalGlobalShortcut, StopClosesTheSessionAndSilencesItsPresses)
{
    FakeShortcutPortal portal;
    PortalGlobalShortcut shortcut;
    PortalGlobalShortcut witness;
    Spies spies(shortcut);
    Spies witnessSpies(witness);
    shortcut.start();
    witness.start();
    ASSERT_TRUE(waitFor(spies.bound));
    ASSERT_TRUE(waitFor(witnessSpies.bound));
    ASSERT_EQ(portal.sessions.size(), 2);

    shortcut.stop();
    ASSERT_TRUE(waitFor(portal.closedSessions));
    const QString closed = portal.closedSessions.first();
    const QString open = portal.sessions.at(portal.sessions.first() == closed ? 1 : 0);
    portal.press(closed, toggle);
    portal.press(open, toggle);
    ASSERT_TRUE(waitFor(witnessSpies.activated));
    EXPECT_TRUE(spies.activated.isEmpty());
}

// The user declines the shortcut, or the desktop answers success and binds nothing.
TEST(PortalGlobalShortcut, ABindingDeclinedOrEmptyFailsAndClosesTheSession)
{
    const std::pair<std::function<void(FakeShortcutPortal &)>, QString> answers[] = {
        {[](FakeShortcutPortal &portal) { portal.bindingResponse = 1; },
         QStringLiteral("the shortcut was declined")},
        {[](FakeShortcutPortal &portal) { portal.bindsShortcuts = false; },
         QStringLiteral("the desktop portal did not bind the shortcut")},
    };
    for (const auto &[answer, reason] : answers) {
        SCOPED_TRACE(reason.toStdString());
        FakeShortcutPortal portal;
        answer(portal);
        PortalGlobalShortcut shortcut;
        Spies spies(shortcut);

        shortcut.start();
        ASSERT_TRUE(waitFor(spies.failed));
        EXPECT_EQ(spies.reason(), reason);
        ASSERT_TRUE(waitFor(portal.closedSessions));
        EXPECT_EQ(portal.closedSessions, portal.sessions);
        EXPECT_TRUE(spies.bound.isEmpty());
    }
}

TEST(PortalGlobalShortcut, WithoutThePortalOrItsInterfaceItFailsAtOnce)
{
    PortalGlobalShortcut shortcut;
    Spies spies(shortcut);
    shortcut.start();
    ASSERT_TRUE(waitFor(spies.failed));
    EXPECT_EQ(spies.reason(), QStringLiteral("no desktop portal is running"));

    FakeShortcutPortal olderPortal(false);
    shortcut.start();
    ASSERT_TRUE(waitFor(spies.failed, 2));
    EXPECT_EQ(spies.failed.last().first().toString(),
              QStringLiteral("the desktop portal has no GlobalShortcuts interface"));
    EXPECT_TRUE(spies.bound.isEmpty());
}
