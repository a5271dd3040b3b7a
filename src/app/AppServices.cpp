#include "app/AppServices.h"

#include <Configuration.h>
#include <QCoreApplication>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QString>

void AppServices::describeApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kolvane"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("kolvane.com"));
    QCoreApplication::setApplicationName(QStringLiteral("Vessa"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(Configuration::version));
}

void AppServices::chooseRendering()
{
    // Text and flat shapes draw as well in software, at a fraction of the memory of a GL context.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    // On Wayland, Qt asks its EGL integration whether it can draw window frames when the first
    // window shows, which loads Mesa and LLVM (about 50 MB) though nothing here draws with OpenGL.
    // The popover has no frame; the About box gets the compositor's, where it draws one.
    if (qEnvironmentVariableIsEmpty("QT_WAYLAND_DISABLE_WINDOWDECORATION"))
        qputenv("QT_WAYLAND_DISABLE_WINDOWDECORATION", "1");
}

AppServices::AppServices() = default;
