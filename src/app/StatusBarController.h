#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSystemTrayIcon>
#include <memory>

class PopoverWindow;
class QMenu;
class QMessageBox;
class XRecordMonitor;

// The tray icon, its menu and the popover with the application's screens. A left click on the
// icon opens or closes the popover; a right click, or a Ctrl+click, shows the menu.
class StatusBarController : public QObject
{
    Q_OBJECT

public:
    explicit StatusBarController(QObject *parent = nullptr);
    ~StatusBarController() override;

    // Creates the tray icon and the popover.
    void setup();

    void togglePopover();
    // Shows the popover, or when it is already shown, brings it to the front with the focus.
    void showPopover();
    void statusBarButtonClicked(QSystemTrayIcon::ActivationReason reason,
                                Qt::KeyboardModifiers modifiers);
    void showAbout();
    void quitApp();

    QSystemTrayIcon *statusItem() const { return m_statusItem.get(); }
    PopoverWindow *popover() const { return m_popover.get(); }
    QMenu *menu() const { return m_menu.get(); }

    // A click closes the popover unless it lands on the popover or on the tray icon, whose own
    // click toggles it. An empty frame contains nothing, so then every click is outside.
    static bool isOutsideClick(QPoint click, const QRect &popoverFrame, const QRect &trayIcon);

private:
    void closePopover();
    // Closes for a click beside the popover or the focus leaving for another application.
    void dismissPopover();
    void placePopover();
    void startOutsideClickMonitor();
    void stopOutsideClickMonitor();
    void showContextMenu();

    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_statusItem;
    std::unique_ptr<PopoverWindow> m_popover;
    std::unique_ptr<XRecordMonitor> eventMonitor;
    QPointer<QMessageBox> aboutBox;
    // A click on a tray icon that cannot say where it is first closes the popover as a click
    // beside it, then arrives as the icon's own click: that click must not open it again.
    QElapsedTimer sinceDismissed;
};
