#include "app/StatusBarController.h"

#include "app/PopoverPlacement.h"
#include "app/PopoverWindow.h"
#include "app/XRecordMonitor.h"
#include "model/Log.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QKeySequence>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>

namespace {

// Shorter than any two clicks a person makes on purpose, longer than a click's way through the
// tray host.
constexpr qint64 sameClickMs = 300;

// The application's own icon: its coloured square reads on light and dark panels alike.
QIcon trayIcon()
{
    return QIcon(QStringLiteral(":/icons/com.kolvane.vessa-mac.svg"));
}

} // namespace

StatusBarController::StatusBarController(QObject *parent)
    : QObject(parent)
{}

StatusBarController::~StatusBarController() = default;

bool StatusBarController::isOutsideClick(QPoint click, const QRect &popoverFrame,
                                         const QRect &trayIcon)
{
    return !popoverFrame.contains(click) && !trayIcon.contains(click);
}

void StatusBarController::setup()
{
    // 1. The tray icon, with its menu for the right click.
    m_menu = std::make_unique<QMenu>();
    m_menu->addAction(QStringLiteral("About Vessa"), this, &StatusBarController::showAbout);
    m_menu->addSeparator();
    QAction *quit =
        m_menu->addAction(QStringLiteral("Quit Vessa"), this, &StatusBarController::quitApp);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    m_statusItem = std::make_unique<QSystemTrayIcon>(trayIcon());
    m_statusItem->setToolTip(QStringLiteral("Vessa"));
    m_statusItem->setContextMenu(m_menu.get());
    connect(m_statusItem.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                statusBarButtonClicked(reason, QGuiApplication::queryKeyboardModifiers());
            });
    m_statusItem->show();
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        Log::write(QStringLiteral("[StatusBarController] No system tray on this desktop; "
                                  "Ctrl+Shift+M or \"vessa --toggle\" opens Vessa"));
    }

    // 2. The popover. Its screens are made when it first shows: a tray application mostly
    //    waits, and an idle Vessa should not hold screens nobody has opened yet.
    m_popover = std::make_unique<PopoverWindow>();
    connect(m_popover.get(), &PopoverWindow::escapePressed, this,
            &StatusBarController::closePopover);
    connect(m_popover.get(), &PopoverWindow::focusLost, this, &StatusBarController::dismissPopover);

    // 3.
    Log::write(QStringLiteral("[StatusBarController] Status bar setup complete"));
}

void StatusBarController::statusBarButtonClicked(QSystemTrayIcon::ActivationReason reason,
                                                 Qt::KeyboardModifiers modifiers)
{
    // A right click shows the menu by itself: the tray shows the menu it was given.
    if (reason != QSystemTrayIcon::Trigger)
        return;
    if (modifiers.testFlag(Qt::ControlModifier)) {
        showContextMenu();
        return;
    }
    if (sinceDismissed.isValid() && sinceDismissed.elapsed() < sameClickMs)
        return;
    togglePopover();
}

void StatusBarController::togglePopover()
{
    if (!m_statusItem || !m_popover)
        return;
    if (m_popover->isVisible())
        closePopover();
    else
        showPopover();
}

void StatusBarController::showPopover()
{
    if (!m_statusItem || !m_popover)
        return;
    if (m_popover->isVisible()) {
        m_popover->raise();
        m_popover->requestActivate();
        return;
    }
    m_popover->loadContent();
    placePopover();
    m_popover->show();
    m_popover->raise();
    m_popover->requestActivate();
    startOutsideClickMonitor();
    Log::write(QStringLiteral("[StatusBarController] Popover opened"));
}

void StatusBarController::closePopover()
{
    if (!m_popover || !m_popover->isVisible())
        return;
    m_popover->hide();
    stopOutsideClickMonitor();
    sinceDismissed.invalidate();
    Log::write(QStringLiteral("[StatusBarController] Popover closed"));
}

void StatusBarController::dismissPopover()
{
    if (!m_popover || !m_popover->isVisible())
        return;
    closePopover();
    sinceDismissed.start();
}

void StatusBarController::placePopover()
{
    const QRect icon = m_statusItem->geometry();
    QScreen *screen = QGuiApplication::screenAt(icon.isValid() ? icon.center() : QCursor::pos());
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect available = screen->availableGeometry();
    m_popover->setPosition(
        icon.isValid()
            ? PopoverPlacement::besideTrayIcon(icon, available, PopoverWindow::contentSize)
            : PopoverPlacement::topRightOf(available, PopoverWindow::contentSize));
}

void StatusBarController::startOutsideClickMonitor()
{
    // Elsewhere the focus leaving for another application says the same.
    if (QGuiApplication::platformName() != QLatin1StringView("xcb"))
        return;
    QString whyNot;
    eventMonitor = XRecordMonitor::create(XRecordMonitor::Events::buttonPresses, &whyNot);
    if (!eventMonitor)
        return;
    connect(eventMonitor.get(), &XRecordMonitor::buttonPressed, this, [this](QPoint click) {
        const QRect frame = m_popover->isVisible() ? m_popover->frameGeometry() : QRect();
        if (!isOutsideClick(click, frame, m_statusItem->geometry()))
            return;
        QMetaObject::invokeMethod(this, &StatusBarController::dismissPopover, Qt::QueuedConnection);
    });
}

void StatusBarController::stopOutsideClickMonitor()
{
    eventMonitor.reset();
}

void StatusBarController::showContextMenu()
{
    if (m_menu)
        m_menu->popup(QCursor::pos());
}

void StatusBarController::showAbout()
{
    if (!aboutBox) {
        aboutBox = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("About Vessa"),
                                   QStringLiteral("<h3>Vessa</h3><p>Version %1</p><p>%2</p>")
                                       .arg(QApplication::applicationVersion(),
                                            QStringLiteral("An AI assistant in the system tray.")),
                                   QMessageBox::Ok);
        aboutBox->setIconPixmap(trayIcon().pixmap(64));
        aboutBox->setAttribute(Qt::WA_DeleteOnClose);
    }
    aboutBox->show();
    aboutBox->raise();
    aboutBox->activateWindow();
}

void StatusBarController::quitApp()
{
    QCoreApplication::quit();
}
