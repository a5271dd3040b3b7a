#include "identity/AuthService.h"
#include "identity/KeychainService.h"
#include "model/SharedInstance.h"
#include "model/User.h"
#include "support/TaskAwaiting.h"
#include "ui/ViewEngine.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest/quicktest.h>
#include <memory>
#include <optional>

Q_IMPORT_QML_PLUGIN(VessaPlugin)

// The services the views reach, as the application's owner makes them: a store in a temporary
// folder holding a user without a last name, and a sign-in whose "browser" opens nothing. They
// are made once the application object exists, which this object is made before.
class ViewsSetup : public QObject
{
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        network = std::make_unique<QNetworkAccessManager>();
        sharedNetwork.emplace(*network);
        folder = std::make_unique<QTemporaryDir>();
        store = std::make_unique<KeychainService>(folder->path());
        sharedStore.emplace(*store);
        awaitTask(store->save(QStringLiteral("token-1"), KeychainKey::accessToken));
        awaitTask(store->save(User{QStringLiteral("user_01"), QStringLiteral("ada@example.com"),
                                   QStringLiteral("Ada"), std::nullopt},
                              KeychainKey::userData));
        auth = std::make_unique<AuthService>(*store, QUrl(QStringLiteral("http://127.0.0.1:9")),
                                             QUrl(QStringLiteral("http://127.0.0.1:9")),
                                             QStringLiteral("client"), QString(),
                                             [](const QUrl &) { return true; });
        awaitTask(auth->restored());
        sharedAuth.emplace(*auth);
    }

    void qmlEngineAvailable(QQmlEngine *engine) { ViewEngine::prepare(*engine); }

    // While the application object still exists, in the reverse order of making.
    void cleanupTestCase()
    {
        sharedAuth.reset();
        auth.reset();
        sharedStore.reset();
        store.reset();
        sharedNetwork.reset();
        network.reset();
    }

private:
    std::unique_ptr<QNetworkAccessManager> network;
    std::optional<SharedInstance<QNetworkAccessManager>> sharedNetwork;
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<KeychainService> store;
    std::optional<SharedInstance<KeychainService>> sharedStore;
    std::unique_ptr<AuthService> auth;
    std::optional<SharedInstance<AuthService>> sharedAuth;
};

QUICK_TEST_MAIN_WITH_SETUP(views, ViewsSetup)

#include "QuickTestMain.moc"
