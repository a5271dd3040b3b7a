#include "UnixSignalWatcher.h"

#include <Configuration.h>
#include <QApplication>
#include <csignal>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vessa"));
    QApplication::setApplicationVersion(QString::fromLatin1(Configuration::version));
    QApplication::setQuitOnLastWindowClosed(false);

    UnixSignalWatcher signalWatcher({SIGINT, SIGTERM});
    QObject::connect(&signalWatcher, &UnixSignalWatcher::signalReceived, &app, &QApplication::quit);

    return QApplication::exec();
}
