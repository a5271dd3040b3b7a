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
}

AppServices::AppServices() = default;
