#include "app/HotKeyManager.h"

#include "app/PortalGlobalShortcut.h"
#include "app/XRecordMonitor.h"
#include "model/Log.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMetaObject>
#include <utility>

namespace {

// X11's modifier bits and the key symbol of "m".
constexpr quint16 x11ShiftMask = 1 << 0;
constexpr quint16 x11ControlMask = 1 << 2;
constexpr unsigned long keysymM = 0x6d;

} // namespace

// Sits in front of every object of the application: a key press reaches our windows' items only
// through it. Owned by the manager, so it never outlives it.
class HotKeyManager::LocalMonitor : public QObject
{
public:
    explicit LocalMonitor(HotKeyManager &owner)
        : manager(owner)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        const auto &key = static_cast<const QKeyEvent &>(*event);
        if (!manager.matches(key))
            return false;
        // A held key repeats: the first press acts, the repeats are only swallowed.
        if (!manager.hasGlobalMonitor() && !key.isAutoRepeat())
            manager.trigger();
        return true;
    }

private:
    HotKeyManager &manager;
};

HotKeyManager::HotKeyManager(std::function<void()> action, QObject *parent)
    : QObject(parent)
    , onHotKey(std::move(action))
{}

HotKeyManager::~HotKeyManager() = default;

bool HotKeyManager::matches(Qt::KeyboardModifiers modifiers, quint32 pressedKeyCode,
                            quint16 hotKeyCode)
{
    const Qt::KeyboardModifiers required = Qt::ControlModifier | Qt::ShiftModifier;
    return (modifiers & required) == required && pressedKeyCode == hotKeyCode;
}

bool HotKeyManager::matches(const QKeyEvent &event) const
{
    quint32 pressed = event.nativeScanCode();
    if (pressed == 0)
        pressed = event.key() == Qt::Key_M ? m_keyCode : 0;
    return matches(event.modifiers(), pressed, m_keyCode);
}

Qt::KeyboardModifiers HotKeyManager::modifiersOfX11State(quint16 state)
{
    Qt::KeyboardModifiers modifiers;
    modifiers.setFlag(Qt::ShiftModifier, (state & x11ShiftMask) != 0);
    modifiers.setFlag(Qt::ControlModifier, (state & x11ControlMask) != 0);
    return modifiers;
}

void HotKeyManager::setup()
{
    setupGlobalMonitor();
    localMonitor = std::make_unique<LocalMonitor>(*this);
    Log::write(QStringLiteral("[HotKeyManager] Registered Cmd+Shift+M hotkey"));
}

void HotKeyManager::setupGlobalMonitor()
{
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1StringView("wayland")) {
        setupPortalShortcut();
        return;
    }
    QString whyNot = QStringLiteral("this desktop (%1) offers no global shortcuts").arg(platform);
    if (platform == QLatin1StringView("xcb"))
        globalMonitor = XRecordMonitor::create(XRecordMonitor::Events::keyPresses, &whyNot);
    if (!globalMonitor) {
        logNoGlobalHotKey(whyNot);
        return;
    }
    if (const quint8 layoutKeyCode = globalMonitor->keycodeForKeysym(keysymM))
        m_keyCode = layoutKeyCode;
    connect(globalMonitor.get(), &XRecordMonitor::keyPressed, this,
            [this](quint8 keycode, quint16 state, bool isRepeat) {
                if (!isRepeat && matches(modifiersOfX11State(state), keycode, m_keyCode))
                    trigger();
            });
}

void HotKeyManager::setupPortalShortcut()
{
    portalShortcut = std::make_unique<PortalGlobalShortcut>();
    connect(portalShortcut.get(), &PortalGlobalShortcut::bound, this,
            [this] { portalBound = true; });
    connect(portalShortcut.get(), &PortalGlobalShortcut::activated, this, &HotKeyManager::trigger);
    // Also after binding: the desktop may end the session, and the local monitor takes over.
    connect(portalShortcut.get(), &PortalGlobalShortcut::failed, this,
            [this](const QString &reason) {
                portalBound = false;
                logNoGlobalHotKey(reason);
            });
    portalShortcut->start();
}

void HotKeyManager::logNoGlobalHotKey(const QString &why)
{
    Log::write(QStringLiteral("[HotKeyManager] No global hotkey: %1; Ctrl+Shift+M works only "
                              "while Vessa has the focus")
                   .arg(why));
}

void HotKeyManager::cleanup()
{
    globalMonitor.reset();
    portalShortcut.reset();
    portalBound = false;
    localMonitor.reset();
    Log::write(QStringLiteral("[HotKeyManager] Hotkey monitors removed"));
}

void HotKeyManager::trigger()
{
    // After the monitor's handler has returned, as a task of its own.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (onHotKey)
                onHotKey();
        },
        Qt::QueuedConnection);
}
