#include "app/AppServices.h"

#include <Configuration.h>
#include <QCoreApplication>
#include <QString>

void AppServices::describeApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kolvane"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("kolvane.com"));
    QCoreApplication::setApplicationName(QStringLiteral("Vessa"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(Configuration::version));
}

AppServices::AppServices() = default;
