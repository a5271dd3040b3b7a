#include "ui/ViewEngine.h"

#include "support/ScriptedHttpServer.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

// Whatever a view asks for over the network is refused before it leaves the process; what comes
// with the application still loads.
TEST(ViewEngine, ViewsFetchNothingFromTheNetwork)
{
    ScriptedHttpServer server;
    server.route("GET", "/x.png", ScriptedReply::text("not an image"));
    QQmlEngine engine;
    ViewEngine::prepare(engine);
    QQmlComponent component(&engine);
    component.setData(QStringLiteral(R"(
        import QtQuick
        Item {
            property var request: new XMLHttpRequest()
            readonly property bool settled: remote.status === Image.Error && local.status !== Image.Loading && request.readyState === XMLHttpRequest.DONE
            readonly property bool localLoaded: local.status === Image.Ready
            Image { id: remote; source: "%1/x.png" }
            Image { id: local; source: "qrc:/icons/arrow.up.svg" }
            Component.onCompleted: {
                request.open("GET", "%1/y.json");
                request.send();
            }
        })")
                          .arg(server.url("").toString())
                          .toUtf8(),
                      QUrl(QStringLiteral("qrc:/test.qml")));
    const std::unique_ptr<QObject> root(component.create());
    ASSERT_NE(root, nullptr) << component.errorString().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return root->property("settled").toBool(); }));
    EXPECT_TRUE(root->property("localLoaded").toBool());
    EXPECT_TRUE(server.requests().isEmpty());
}
