#include "app/HotKeyManager.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

constexpr quint16 m = HotKeyManager::defaultKeyCode;

// A window of our own that counts the key presses that reach it.
class KeyCountingWindow : public QWindow
{
public:
    int presses = 0;

protected:
    void keyPressEvent(QKeyEvent *) override { ++presses; }
};

QKeyEvent keyPress(Qt::KeyboardModifiers modifiers, bool autoRepeat = false)
{
    return QKeyEvent(QEvent::KeyPress, Qt::Key_M, modifiers, QStringLiteral("m"), autoRepeat);
}

class HotKeyManagerTest : public testing::Test
{
protected:
    // Sends the key as the platform would, then lets queued work run.
    void press(QKeyEvent event)
    {
        QCoreApplication::sendEvent(&window, &event);
        QCoreApplication::processEvents();
    }

    int actions = 0;
    HotKeyManager manager{[this] { ++actions; }};
    KeyCountingWindow window;
};

} // namespace

TEST(HotKeyMatch, NeedsControlAndShiftOnTheMKeyWhateverElseIsHeld)
{
    EXPECT_TRUE(HotKeyManager::matches(Qt::ControlModifier | Qt::ShiftModifier, m, m));
    EXPECT_TRUE(HotKeyManager::matches(
        Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier, m, m));
    EXPECT_FALSE(HotKeyManager::matches(Qt::ControlModifier, m, m));
    EXPECT_FALSE(HotKeyManager::matches(Qt::ShiftModifier, m, m));
    EXPECT_FALSE(HotKeyManager::matches(Qt::ControlModifier | Qt::ShiftModifier, m + 1, m));

    // X11 states: Lock (2) and NumLock (Mod2, 16) held with Control (4) and Shift (1).
    const auto x11 = [](quint16 state) {
        return HotKeyManager::matches(HotKeyManager::modifiersOfX11State(state), m, m);
    };
    EXPECT_TRUE(x11(1 | 4));
    EXPECT_TRUE(x11(1 | 2 | 4 | 16 | 8));
    EXPECT_FALSE(x11(4 | 16));
    EXPECT_FALSE(x11(1 | 2));
}

TEST_F(HotKeyManagerTest, InOurOwnWindowsTheKeyIsSwallowedAndActsAfterTheHandler)
{
    manager.setup();
    ASSERT_FALSE(manager.hasGlobalMonitor()) << "offscreen has no global monitor";

    QKeyEvent hotKey = keyPress(Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    QCoreApplication::sendEvent(&window, &hotKey);
    EXPECT_EQ(actions, 0) << "the action runs as a task of its own, not inside the handler";
    QCoreApplication::processEvents();
    EXPECT_EQ(actions, 1);

    // A held key repeats: swallowed, but it does not toggle again and again.
    press(keyPress(Qt::ControlModifier | Qt::ShiftModifier, true));
    EXPECT_EQ(actions, 1);
    EXPECT_EQ(window.presses, 0);

    press(keyPress(Qt::ControlModifier));
    press(keyPress(Qt::ShiftModifier));
    EXPECT_EQ(actions, 1);
    EXPECT_EQ(window.presses, 2);
}

TEST_F(HotKeyManagerTest, CleanupWithoutSetupLogsAndAfterCleanupTheKeyPassesThrough)
{
    testing::internal::CaptureStdout();
    manager.cleanup();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[HotKeyManager] Hotkey monitors removed\n");

    manager.setup();
    manager.cleanup();
    press(keyPress(Qt::ControlModifier | Qt::ShiftModifier));
    EXPECT_EQ(actions, 0);
    EXPECT_EQ(window.presses, 1);
}
