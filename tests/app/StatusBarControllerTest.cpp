#include "app/StatusBarController.h"

#include "SignInFixture.h"
#include "app/AppDelegate.h"
#include "app/HotKeyManager.h"
#include "app/PopoverWindow.h"
#include "model/SharedInstance.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QQuickItem>
#include <QTest>
#include <gtest/gtest.h>
#include <string>

namespace {

// The shell as the application launches it, with a sign-in service of the test's own behind the
// popover's screens.
class StatusBarControllerTest : public SignInFixture
{
protected:
    static std::string logOf(const std::function<void()> &action)
    {
        testing::internal::CaptureStdout();
        action();
        return testing::internal::GetCapturedStdout();
    }

    static void press(QWindow &window, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
    {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QCoreApplication::sendEvent(&window, &event);
        QCoreApplication::processEvents();
    }

    SharedInstance<AuthService> sharedAuth{auth};
};

} // namespace

TEST_F(StatusBarControllerTest, ClicksToggleThePopoverAndCtrlClickShowsTheMenuInstead)
{
    StatusBarController controller;
    // Before setup there is nothing to toggle.
    EXPECT_EQ(logOf([&] { controller.togglePopover(); }), "");

    EXPECT_EQ(logOf([&] { controller.setup(); }),
              "[StatusBarController] No system tray on this desktop; Ctrl+Shift+M or \"vessa "
              "--toggle\" opens Vessa\n[StatusBarController] Status bar setup complete\n");
    PopoverWindow &popover = *controller.popover();
    EXPECT_FALSE(popover.isVisible());
    EXPECT_EQ(popover.flags() & Qt::FramelessWindowHint, Qt::FramelessWindowHint);
    EXPECT_EQ(popover.flags() & Qt::WindowStaysOnTopHint, Qt::WindowStaysOnTopHint);

    EXPECT_EQ(logOf([&] { controller.statusBarButtonClicked(QSystemTrayIcon::Trigger, {}); }),
              "[StatusBarController] Popover opened\n");
    EXPECT_TRUE(popover.isVisible());
    EXPECT_EQ(popover.size(), QSize(400, 600));

    controller.statusBarButtonClicked(QSystemTrayIcon::Trigger, Qt::ControlModifier);
    EXPECT_TRUE(controller.menu()->isVisible());
    const QList<QAction *> items = controller.menu()->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_TRUE(items[0]->text() == "About Vessa" && items[1]->isSeparator() &&
                items[2]->text() == "Quit Vessa");
    EXPECT_EQ(items[2]->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    EXPECT_TRUE(popover.isVisible()) << "the menu leaves the popover as it was";
    controller.menu()->hide();
    controller.statusBarButtonClicked(QSystemTrayIcon::Context, {});
    EXPECT_TRUE(popover.isVisible());

    EXPECT_EQ(logOf([&] { controller.statusBarButtonClicked(QSystemTrayIcon::Trigger, {}); }),
              "[StatusBarController] Popover closed\n");
    EXPECT_FALSE(popover.isVisible());
    // Hidden, not destroyed: the next showing finds the same window and screens.
    controller.togglePopover();
    EXPECT_EQ(controller.popover(), &popover);
    EXPECT_TRUE(popover.isVisible());
}

TEST_F(StatusBarControllerTest, ThePopoverHoldsTheSignInScreenAndEscapeClosesIt)
{
    StatusBarController controller;
    controller.setup();
    controller.togglePopover();
    PopoverWindow &popover = *controller.popover();
    ASSERT_EQ(popover.status(), QQuickView::Ready) << popover.errors().size();
    // The content's loader made the sign-in screen.
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const auto items = popover.rootObject()->findChildren<QQuickItem *>();
        return std::any_of(items.cbegin(), items.cend(), [](const QQuickItem *item) {
            return QByteArray(item->metaObject()->className()).startsWith("LoginView");
        });
    }));

    // Ctrl+M is no business of ours; Escape is.
    press(popover, Qt::Key_M, Qt::ControlModifier);
    EXPECT_TRUE(popover.isVisible());
    EXPECT_EQ(logOf([&] { press(popover, Qt::Key_Escape); }),
              "[StatusBarController] Popover closed\n");
    EXPECT_FALSE(popover.isVisible());
    // Closed by Escape, a click on the icon right after opens it again.
    controller.statusBarButtonClicked(QSystemTrayIcon::Trigger, {});
    EXPECT_TRUE(popover.isVisible());
}

TEST_F(StatusBarControllerTest, LaunchPutsUpTheShellAndTheHotKeyTogglesUntilTermination)
{
    AppDelegate delegate([this]() -> AuthService & { return auth; });
    const std::string launchLog = logOf([&] { delegate.applicationDidFinishLaunching(); });
    EXPECT_TRUE(launchLog.ends_with("[HotKeyManager] Registered Cmd+Shift+M hotkey\n"
                                    "[AppDelegate] Vessa Mac launched\n"))
        << launchLog;
    PopoverWindow &popover = *delegate.statusBarController()->popover();

    // The hot key, pressed in one of our windows, toggles the popover.
    press(popover, Qt::Key_M, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(popover.isVisible());
    press(popover, Qt::Key_M, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(popover.isVisible());

    EXPECT_EQ(logOf([&] { delegate.applicationWillTerminate(); }),
              "[HotKeyManager] Hotkey monitors removed\n[AppDelegate] Vessa Mac terminating\n");
    press(popover, Qt::Key_M, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(popover.isVisible());
}
