#include "app/AppDelegate.h"
#include "app/AppServices.h"
#include "app/ForwardedUrl.h"
#include "app/PopoverWindow.h"
#include "app/SingleInstance.h"
#include "app/UnixSignalWatcher.h"

#include <Configuration.h>
#include <QApplication>
#include <QDebug>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>

namespace {

constexpr char helpText[] =
    "Usage: vessa [--toggle | --window] [vessa-mac://callback?...]\n"
    "An AI assistant in the system tray.\n"
    "\n"
    "  --toggle     show or hide the popover of the running Vessa (starts it if none runs)\n"
    "  --window     show the popover's content in an ordinary window\n"
    "  --version    print the version and exit\n"
    "  -h, --help   print this help and exit\n"
    "\n"
    "Started again while it runs, Vessa shows its popover. A vessa-mac: URL, as the browser\n"
    "hands back after signing in, goes to the running Vessa.\n";

// Help and the version need no display, no instance and no socket: answered before any of them.
bool answeredAtOnce(int argc, char *argv[])
{
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        if (argument == "--version") {
            std::printf("vessa %s\n", Configuration::version);
            return true;
        }
        if (argument == "--help" || argument == "-h") {
            std::fputs(helpText, stdout);
            return true;
        }
    }
    return false;
}

// The popover's content in an ordinary window, for working on the screens.
std::unique_ptr<PopoverWindow> showWindow()
{
    auto window = std::make_unique<PopoverWindow>();
    window->setFlags(Qt::Window);
    window->loadContent();
    window->show();
    return window;
}

} // namespace

int main(int argc, char *argv[])
{
    if (answeredAtOnce(argc, argv))
        return EXIT_SUCCESS;
    AppServices::chooseRendering();
    QApplication app(argc, argv);
    AppServices::describeApplication();
    QApplication::setQuitOnLastWindowClosed(false);

    // Watching from the start: a stop that arrives just after this process began to listen must
    // still end it through the event loop, which removes the socket.
    UnixSignalWatcher signalWatcher({SIGINT, SIGTERM});
    QObject::connect(&signalWatcher, &UnixSignalWatcher::signalReceived, &app, &QApplication::quit);

    // Before any service exists: a start that only hands a callback URL to the running instance
    // must not touch the store or anything else that instance owns.
    const QStringList arguments = QApplication::arguments().mid(1);
    SingleInstance instance;
    switch (instance.start(arguments)) {
    case SingleInstance::Role::forwarded:
        return EXIT_SUCCESS;
    case SingleInstance::Role::unavailable:
        qCritical().noquote() << "vessa: cannot use the instance socket" << instance.socketPath()
                              << "-" << instance.errorString();
        return EXIT_FAILURE;
    case SingleInstance::Role::primary:
        break;
    }

    // Everything below is destroyed before the services, and the services before the application.
    AppServices services;
    AppDelegate delegate;
    QObject::connect(&instance, &SingleInstance::urlReceived, &delegate,
                     [&delegate](const QUrl &url) { delegate.openURLs({url}); });
    QObject::connect(&instance, &SingleInstance::toggleRequested, &delegate,
                     &AppDelegate::togglePopover);
    QObject::connect(&instance, &SingleInstance::showRequested, &delegate,
                     &AppDelegate::showPopover);
    QObject::connect(&app, &QApplication::aboutToQuit, &delegate,
                     &AppDelegate::applicationWillTerminate);
    QObject::connect(&app, &QApplication::aboutToQuit, &instance, &SingleInstance::close);

    QList<QUrl> ownUrls;
    for (const QString &argument : arguments) {
        if (const std::optional<QUrl> url = ForwardedUrl::parse(argument.toUtf8()))
            ownUrls.append(*url);
    }
    delegate.openURLs(ownUrls);

    std::unique_ptr<PopoverWindow> window;
    if (arguments.contains(QStringLiteral("--window"))) {
        // Closing the development window ends the application.
        QApplication::setQuitOnLastWindowClosed(true);
        window = showWindow();
    } else {
        delegate.applicationDidFinishLaunching();
        if (arguments.contains(QLatin1StringView(SingleInstance::toggleArgument)))
            delegate.togglePopover();
    }

    return QApplication::exec();
}
