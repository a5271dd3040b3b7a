#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>

class PortalGlobalShortcut;
class QKeyEvent;
class XRecordMonitor;

// The global hot key Ctrl+Shift+M (Ctrl stands where macOS has Command, as in Qt's own mapping).
//
// Two monitors: the global one sees the key whichever application has the focus, and leaves it
// to that application; the local one sits in front of our own windows and swallows the key, so
// that it never types an "M" into the chat input. On X11 the global monitor records the server's
// key presses, ours included, so it alone calls the action and the local one only swallows. On
// Wayland the desktop portal binds the shortcut and reports its presses. Where no global monitor
// can be had (or until the portal has bound it), the local one calls the action itself.
class HotKeyManager : public QObject
{
    Q_OBJECT

public:
    // The M key in X11's and Wayland's numbering (evdev's KEY_M + 8); on X11 replaced at setup()
    // by the keycode that types "m" in the current layout.
    static constexpr quint16 defaultKeyCode = 58;

    explicit HotKeyManager(std::function<void()> onHotKey, QObject *parent = nullptr);
    ~HotKeyManager() override;

    void setup();
    void cleanup();

    quint16 keyCode() const { return m_keyCode; }
    bool hasGlobalMonitor() const { return globalMonitor != nullptr || portalBound; }

    // Ctrl and Shift must both be held; others (Alt, Meta, CapsLock, NumLock) may be too.
    static bool matches(Qt::KeyboardModifiers modifiers, quint32 pressedKeyCode,
                        quint16 hotKeyCode);
    // The same for a key event of our own windows. Platforms without native keycodes (offscreen)
    // are matched by the key itself.
    bool matches(const QKeyEvent &event) const;
    // Ctrl and Shift of an X11 key event's modifier state.
    static Qt::KeyboardModifiers modifiersOfX11State(quint16 state);

private:
    class LocalMonitor;

    void setupGlobalMonitor();
    void setupPortalShortcut();
    static void logNoGlobalHotKey(const QString &why);
    void trigger();

    std::function<void()> onHotKey;
    quint16 m_keyCode = defaultKeyCode;
    std::unique_ptr<XRecordMonitor> globalMonitor;
    std::unique_ptr<PortalGlobalShortcut> portalShortcut;
    bool portalBound = false;
    std::unique_ptr<LocalMonitor> localMonitor;
};
