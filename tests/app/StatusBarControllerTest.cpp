#include "app/StatusBarController.h"

#include "Configuration.h"
#include "SignInFixture.h"
#include "SoundServer.h"
#include "VoicePeer.h"
#include "app/AppDelegate.h"
#include "app/AppServices.h"
#include "app/HotKeyManager.h"
#include "app/PopoverWindow.h"
#include "identity/AuthError.h"
#include "model/SharedInstance.h"
#include "support/TaskAwaiting.h"
#include "ui/ChatViewController.h"
#include "ui/VoiceChatViewController.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QHostAddress>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QQuickItem>
#include <QTest>
#include <QUrlQuery>
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

    // The controller of the screen on show whose view's type name starts so; none while no such
    // screen is there.
    template<typename Controller>
    static Controller *screenOf(const QQuickItem *item, const QByteArray &view)
    {
        if (QByteArray(item->metaObject()->className()).startsWith(view))
            return item->property("controller").value<Controller *>();
        for (const QQuickItem *child : item->childItems()) {
            if (Controller *found = screenOf<Controller>(child, view))
                return found;
        }
        return nullptr;
    }

    void signIn()
    {
        QCoro::Task<> signingIn = beginSignIn();
        auth.resumeAuthContinuation(callbackURL(QStringLiteral("code-1")));
        awaitTask(std::move(signingIn));
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

TEST_F(StatusBarControllerTest, ASignInEndedByTheBrowsersCallbackShowsItsOutcome)
{
    AppDelegate delegate([this]() -> AuthService & { return auth; });
    logOf([&] { delegate.applicationDidFinishLaunching(); });
    PopoverWindow &popover = *delegate.statusBarController()->popover();
    const auto screenShown = [&](const char *view) {
        if (!popover.isVisible())
            return false;
        const auto items = popover.rootObject()->findChildren<QQuickItem *>();
        return std::any_of(items.cbegin(), items.cend(), [view](const QQuickItem *item) {
            return QByteArray(item->metaObject()->className()).startsWith(view);
        });
    };

    // The browser took the focus, which closed the popover; a callback with no code fails the
    // sign-in, and the user comes back to the sign-in screen that says so.
    QCoro::Task<> failing = beginSignIn();
    QUrl noCode = callbackURL(QStringLiteral("unused"));
    QUrlQuery query(noCode);
    query.removeQueryItem(QStringLiteral("code"));
    noCode.setQuery(query);
    delegate.openURLs({noCode});
    EXPECT_THROW(awaitTask(std::move(failing)), AuthError);
    EXPECT_TRUE(QTest::qWaitFor([&] { return screenShown("LoginView"); }, 5000));
    delegate.statusBarController()->togglePopover();

    // A callback no sign-in waits for shows nothing; the one that ends a sign-in shows the chat
    // once the sign-in is complete, not before.
    delegate.openURLs({QUrl(QStringLiteral("vessa-mac://callback?code=c&state=stray"))});
    QCoro::Task<> succeeding = beginSignIn();
    delegate.openURLs({QUrl(QStringLiteral("vessa-mac://callback?code=c&state=stray"))});
    EXPECT_FALSE(popover.isVisible());
    delegate.openURLs({callbackURL(QStringLiteral("code-1"))});
    EXPECT_FALSE(popover.isVisible());
    awaitTask(std::move(succeeding));
    EXPECT_TRUE(auth.isAuthenticated());
    EXPECT_TRUE(QTest::qWaitFor([&] { return screenShown("ChatView"); }, 5000));

    // Started again while it shows, Vessa keeps it shown.
    delegate.showPopover();
    EXPECT_TRUE(popover.isVisible());
}

TEST_F(StatusBarControllerTest, TheAboutBoxAndTheSettingsScreenShowTheProjectsVersion)
{
    AppServices::describeApplication();
    signIn();
    StatusBarController controller;
    controller.setup();
    controller.showAbout();
    const auto isAboutBox = [](const QWidget *widget) {
        return qobject_cast<const QMessageBox *>(widget) != nullptr && widget->isVisible();
    };
    const QWidgetList windows = QApplication::topLevelWidgets();
    const auto about = std::find_if(windows.cbegin(), windows.cend(), isAboutBox);
    ASSERT_NE(about, windows.cend());
    EXPECT_TRUE(qobject_cast<QMessageBox *>(*about)->text().contains(
        QStringLiteral("Version " VESSA_PROJECT_VERSION)));
    (*about)->close();

    controller.togglePopover();
    auto *chat = screenOf<ChatViewController>(controller.popover()->rootObject(), "ChatView");
    ASSERT_NE(chat, nullptr);
    chat->showSettings();
    // Screens come from Repeaters, whose items hang in the tree of items, not of objects.
    const std::function<bool(const QQuickItem *)> showsVersion = [&](const QQuickItem *item) {
        if (item->isVisible() &&
            item->property("text").toString() == QLatin1StringView(VESSA_PROJECT_VERSION))
            return true;
        const QList<QQuickItem *> children = item->childItems();
        return std::any_of(children.cbegin(), children.cend(), showsVersion);
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return showsVersion(controller.popover()->contentItem()); }));
}

TEST_F(StatusBarControllerTest, HidingThePopoverEndsTheVoiceChatAndTheNextShowingOpensTheChat)
{
    const QUrl voiceAddress(QString::fromUtf8(Configuration::voiceUrl));
    if (!QHostAddress(voiceAddress.host()).isLoopback())
        GTEST_SKIP() << "this build talks to a voice agent elsewhere";
    if (voiceAddress.scheme() != QLatin1String("http"))
        GTEST_SKIP() << "the test's voice agent speaks plain HTTP only";
    // The build's voice agent is the test's own, and the desktop's microphone plays a tone.
    SoundServer sound(660);
    VoicePeer agent(voiceAddress.port(80));
    signIn();
    StatusBarController controller;
    controller.setup();
    PopoverWindow &popover = *controller.popover();
    const std::pair<const char *, std::function<void()>> hidings[] = {
        {"Escape", [&] { press(popover, Qt::Key_Escape); }},
        {"a click beside it", [&] { emit popover.focusLost(); }},
        {"the hot key or the icon", [&] { controller.togglePopover(); }},
    };
    for (const auto &[how, hide] : hidings) {
        SCOPED_TRACE(how);
        controller.togglePopover();
        auto *chat = screenOf<ChatViewController>(popover.rootObject(), "ChatView");
        ASSERT_NE(chat, nullptr);
        chat->showVoiceChat();
        auto *voice = screenOf<VoiceChatViewController>(popover.rootObject(), "VoiceChatView");
        ASSERT_NE(voice, nullptr);
        VoiceChatService &service = *voice->voiceService();
        const QPointer<VoiceChatService> session = &service;
        float inputLevel = 0;
        QObject::connect(&service, &VoiceChatService::inputAudioLevelChanged,
                         [&] { inputLevel = service.inputAudioLevel(); });
        ASSERT_TRUE(QTest::qWaitFor([&] { return inputLevel > 0.1f; }, 10'000));
        EXPECT_TRUE(service.isConnected());
        EXPECT_EQ(sound.recordingStreams(), 1);

        testing::internal::CaptureStdout();
        hide();
        EXPECT_FALSE(popover.isVisible());
        // The session ends with its screen, and with it the recording.
        EXPECT_TRUE(QTest::qWaitFor([&] { return session.isNull(); }));
        const std::string log = testing::internal::GetCapturedStdout();
        EXPECT_NE(log.find("[VoiceService] Disconnecting...\n"), std::string::npos) << log;
        EXPECT_EQ(inputLevel, 0.0f);
        EXPECT_EQ(sound.recordingStreams(), 0);

        controller.togglePopover();
        EXPECT_TRUE(chat->isShowingChat());
        EXPECT_EQ(screenOf<VoiceChatViewController>(popover.rootObject(), "VoiceChatView"),
                  nullptr);
        controller.togglePopover();
    }
}

TEST_F(StatusBarControllerTest, AFocusLossCountsOnlyAfterTheShownPopoverHadTheFocus)
{
    StatusBarController controller;
    controller.setup();
    PopoverWindow &popover = *controller.popover();
    controller.togglePopover();
    ASSERT_TRUE(popover.isVisible());

    // The focus leaving an earlier showing can be reported after this one began: that is not the
    // user turning to another application.
    emit qGuiApp->focusWindowChanged(nullptr);
    QCoreApplication::processEvents();
    EXPECT_TRUE(popover.isVisible());

    popover.requestActivate();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QGuiApplication::focusWindow() == &popover; }));
    emit qGuiApp->focusWindowChanged(nullptr);
    QCoreApplication::processEvents();
    EXPECT_FALSE(popover.isVisible());

    // Each showing waits for its own focus again, also when it is shown before the window system
    // has reported the focus leaving the showing before.
    controller.togglePopover();
    popover.requestActivate();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QGuiApplication::focusWindow() == &popover; }));
    press(popover, Qt::Key_Escape);
    ASSERT_FALSE(popover.isVisible());
    ASSERT_EQ(QGuiApplication::focusWindow(), &popover);
    controller.togglePopover();
    ASSERT_TRUE(popover.isVisible());
    emit qGuiApp->focusWindowChanged(nullptr);
    QCoreApplication::processEvents();
    EXPECT_TRUE(popover.isVisible());

    // Shown for a while with the focus it never lost, it closes when the focus goes elsewhere.
    QTest::qWait(PopoverWindow::settleTime.count() + 100);
    emit qGuiApp->focusWindowChanged(nullptr);
    QCoreApplication::processEvents();
    EXPECT_FALSE(popover.isVisible());
}
