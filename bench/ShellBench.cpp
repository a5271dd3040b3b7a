// The desktop shell as a person meets it, on a real X server with a tray or on a Wayland
// compositor: the time from the process's start to the tray icon on screen, from a toggle to the
// popover's first frame (the first showing and later ones), and the resident memory while idle and
// after a 50-message conversation with the local backend. Needs the local backend on its default
// port and either DISPLAY with a tray host or WAYLAND_DISPLAY, where no tray icon has a window to
// time (scripts/bench.sh starts them).
//
// The program starts itself again and times that second process from before its start, so the
// figure includes loading the libraries, as a launch from the desktop does.
#include "app/AppDelegate.h"
#include "app/AppServices.h"
#include "app/PopoverWindow.h"
#include "app/StatusBarController.h"
#include "identity/AuthService.h"
#include "identity/KeychainService.h"
#include "model/Conversation.h"
#include "model/SharedInstance.h"
#include "ui/ChatViewController.h"

#include <Configuration.h>
#include <QApplication>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtCore/qtestsupport_core.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace {

qint64 monotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

double millisecondsSince(qint64 start)
{
    return double(monotonicNanoseconds() - start) / 1e6;
}

long residentMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong() / 1024;
    }
    return -1;
}

// The browser's part of the sign-in: fills in the local backend's sign-in page and hands the
// callback it redirects to back to the waiting sign-in.
void playBrowser(QNetworkAccessManager &network, AuthService &auth, const QUrl &authorizeURL)
{
    QUrlQuery form(authorizeURL);
    form.addQueryItem(QStringLiteral("name"), QStringLiteral("Ada Lovelace"));
    form.addQueryItem(QStringLiteral("email"), QStringLiteral("ada@example.com"));
    QUrl pageURL = authorizeURL;
    pageURL.setQuery(QString());
    QNetworkRequest request(pageURL);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/x-www-form-urlencoded"));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply *reply = network.post(request, form.query(QUrl::FullyEncoded).toUtf8());
    QObject::connect(reply, &QNetworkReply::finished, [reply, &auth] {
        auth.resumeAuthContinuation(QUrl(QString::fromUtf8(reply->rawHeader("Location"))));
        reply->deleteLater();
    });
}

QWindow *trayIconWindow(const QWindow *popover)
{
    // Docked, the icon's window is a child of the tray's, so not a top-level one any more.
    for (QWindow *window : QGuiApplication::allWindows()) {
        if (window != popover && window->isExposed())
            return window;
    }
    return nullptr;
}

// Toggles the popover open and waits for the frame that shows it.
double toggleToFirstFrame(AppDelegate &delegate)
{
    PopoverWindow &popover = *delegate.statusBarController()->popover();
    bool swapped = false;
    const QMetaObject::Connection connection =
        QObject::connect(&popover, &QQuickWindow::frameSwapped, [&] { swapped = true; });
    const qint64 start = monotonicNanoseconds();
    delegate.togglePopover();
    const bool shown = QTest::qWaitFor([&] { return swapped; }, 10000);
    const double elapsed = millisecondsSince(start);
    QObject::disconnect(connection);
    return shown ? elapsed : -1;
}

ChatViewController *chatController(PopoverWindow &popover)
{
    const auto items = popover.rootObject()->findChildren<QQuickItem *>();
    for (QQuickItem *item : items) {
        if (auto *controller = item->property("controller").value<ChatViewController *>())
            return controller;
    }
    return nullptr;
}

int measure(qint64 processStart)
{
    QTemporaryDir storeFolder;
    QNetworkAccessManager network;
    const SharedInstance<QNetworkAccessManager> sharedNetwork(network);
    KeychainService store(storeFolder.path());
    const SharedInstance<KeychainService> sharedStore(store);
    AuthService *authService = nullptr;
    AuthService auth(store, QUrl(QString::fromUtf8(Configuration::idpBase)),
                     QUrl(QString::fromUtf8(Configuration::webBase)),
                     QString::fromUtf8(Configuration::idpClientId), QString(),
                     [&](const QUrl &url) {
                         playBrowser(network, *authService, url);
                         return true;
                     });
    authService = &auth;
    const SharedInstance<AuthService> sharedAuth(auth);

    // 1. Launch, up to the tray icon on screen: only an X11 tray docks the icon as a window.
    AppDelegate delegate([&auth]() -> AuthService & { return auth; });
    delegate.applicationDidFinishLaunching();
    PopoverWindow &popover = *delegate.statusBarController()->popover();
    const bool timesTray = QGuiApplication::platformName() == QLatin1StringView("xcb");
    if (timesTray && !QTest::qWaitFor([&] { return trayIconWindow(&popover) != nullptr; }, 10000)) {
        std::fprintf(stderr, "bench_shell: no tray icon appeared; is a tray host running?\n");
        return 1;
    }
    const double startToTray = millisecondsSince(processStart);
    QTest::qWait(1000);
    const long idleStart = residentMegabytes();

    // 2. Toggles: the first showing, then later ones.
    const double cold = toggleToFirstFrame(delegate);
    std::vector<double> warm;
    for (int round = 0; round < 20; ++round) {
        delegate.togglePopover();
        QTest::qWait(50);
        warm.push_back(toggleToFirstFrame(delegate));
    }
    std::sort(warm.begin(), warm.end());
    delegate.togglePopover();
    QTest::qWait(1000);
    const long idleAfterToggles = residentMegabytes();

    // 3. Sign in and hold a 50-message conversation with the popover open.
    delegate.togglePopover();
    QCoro::Task<> signIn = auth.signIn();
    if (!QTest::qWaitFor([&] { return auth.isAuthenticated(); }, 10000)) {
        std::fprintf(stderr, "bench_shell: sign-in with the local backend failed\n");
        return 1;
    }
    ChatViewController *controller = nullptr;
    if (!QTest::qWaitFor([&] { return (controller = chatController(popover)) != nullptr; }, 10000))
        return 1;
    while (controller->currentConversation() == nullptr ||
           controller->currentConversation()->messages().size() < 50) {
        controller->quickAction(QStringLiteral("What did I eat today?"));
        if (!QTest::qWaitFor([&] { return !controller->isStreaming(); }, 30000))
            return 1;
    }
    QTest::qWait(500);
    const long openAfterChat = residentMegabytes();
    delegate.togglePopover();
    QTest::qWait(1000);
    const long closedAfterChat = residentMegabytes();

    if (timesTray)
        std::printf("Start to tray icon shown: %.0f ms\n", startToTray);
    else
        std::printf("Start to tray icon shown: skipped, no tray icon window on %s\n",
                    qPrintable(QGuiApplication::platformName()));
    std::printf("Toggle to first frame: cold %.1f ms; warm median %.1f ms, max %.1f ms (%zu "
                "toggles)\n",
                cold, warm[warm.size() / 2], warm.back(), warm.size());
    std::printf("Resident memory idle, popover closed: %ld MB after start, %ld MB after the "
                "toggles\n",
                idleStart, idleAfterToggles);
    std::printf("Resident memory after a 50-message conversation: %ld MB open, %ld MB closed\n",
                openAfterChat, closedAfterChat);
    delegate.applicationWillTerminate();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3 || std::string(argv[1]) != "--child") {
        const std::string start = std::to_string(monotonicNanoseconds());
        char child[] = "--child";
        std::vector<char *> arguments{argv[0], child, const_cast<char *>(start.c_str()), nullptr};
        pid_t pid = 0;
        if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, arguments.data(), environ) != 0)
            return 1;
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
    }
    const qint64 processStart = std::atoll(argv[2]);
    AppServices::chooseRendering();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return measure(processStart);
}
