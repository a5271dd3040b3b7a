#include "model/SharedInstance.h"

#ifdef VESSA_TEST_WIDGETS
#include <QApplication>
#else
#include <QGuiApplication>
#endif
#include <QNetworkAccessManager>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef VESSA_TEST_WIDGETS
    // Tray icons and menus are widgets.
    QApplication app(argc, argv);
#else
    QGuiApplication app(argc, argv);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    int result = 0;
    {
        // The shared network manager, as the application's owner makes it.
        QNetworkAccessManager network;
        const SharedInstance<QNetworkAccessManager> sharedNetwork(network);
        result = RUN_ALL_TESTS();
        // Replies released with deleteLater() go while the manager and the event loop still run.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    return result;
}
