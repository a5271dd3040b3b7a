#pragma once

#include <QList>
#include <QObject>
#include <QUrl>
#include <functional>
#include <memory>

class AuthService;
class HotKeyManager;
class StatusBarController;

// The application controller: it receives what the desktop asks of the application as a whole,
// among it the URLs to open, which is how the browser's sign-in callback comes back.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    // Looked up only when a callback arrives, so that a start that merely forwards or opens
    // another URL never creates the sign-in service.
    using AuthServiceProvider = std::function<AuthService &()>;

    static AuthServiceProvider sharedAuthService();

    explicit AppDelegate(AuthServiceProvider authServiceProvider = sharedAuthService(),
                         QObject *parent = nullptr);
    ~AppDelegate() override;

    // Puts the tray icon and the popover up, then the hot key.
    void applicationDidFinishLaunching();
    // Removes the hot key, so that it stops working before the process ends.
    void applicationWillTerminate();

    // Shows or hides the popover, for the hot key and for "vessa --toggle".
    void togglePopover();
    // Shows the popover, for a start of Vessa while it runs.
    void showPopover();

    // Hands each "vessa-mac" URL, in order, to the sign-in that waits for its callback. Other
    // URLs, and callbacks while no sign-in waits, are ignored without a message. Once the
    // sign-in a callback resumed has ended, the popover shows how it went: the user comes back
    // from the browser to the chat, or to the sign-in screen saying what failed.
    void openURLs(const QList<QUrl> &urls);

    StatusBarController *statusBarController() const { return m_statusBarController.get(); }
    HotKeyManager *hotKeyManager() const { return m_hotKeyManager.get(); }

private:
    void showPopoverWhenSignInEnds(AuthService &auth);

    AuthServiceProvider authService;
    std::unique_ptr<StatusBarController> m_statusBarController;
    std::unique_ptr<HotKeyManager> m_hotKeyManager;
};
