#include "app/AppServices.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(AppServices, SettingsAndStoreLiveInTheUsersFoldersAndSharedNamesReachTheOwnersInstances)
{
    QTemporaryDir home;
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    const QByteArray configHome = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("data")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));

    AppServices::describeApplication();
    {
        AppServices services;
        EXPECT_EQ(QSettings().fileName(), home.filePath("config/Kolvane/Vessa.conf"));
        EXPECT_EQ(services.store().storageDirectory(),
                  home.filePath("data/com.kolvane.vessa-mac/secure"));
        EXPECT_EQ(&KeychainService::shared(), &services.store());
        EXPECT_EQ(&AuthService::shared(), &services.auth());
        EXPECT_EQ(&MCPService::shared(), &services.mcp());
    }

    qputenv("XDG_DATA_HOME", dataHome);
    qputenv("XDG_CONFIG_HOME", configHome);
}
