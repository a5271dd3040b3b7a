// What a screen reader gets of the chat, read through AT-SPI as Orca reads it: the real ChatView
// in a window on an X server, its accessibility bridge on a private session bus, after one reply
// from a local server. Run by CTest under xvfb-run and dbus-run-session.
#include "app/SignInFixture.h"
#include "chat/ChatService.h"
#include "model/SharedInstance.h"
#include "ui/ChatViewController.h"
#include "ui/ViewEngine.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

Q_IMPORT_QML_PLUGIN(VessaPlugin)

namespace {

// An ordinary reply, streamed as a server sends it: a tool call, then a paragraph, two list items
// and a table.
const QList<QByteArray> reply = {
    ScriptedReply::event(
        "tool_use_start",
        R"({"tool_id":"t1","tool":"log_meal","input":{"food":"eggs","calories":180}})"),
    ScriptedReply::event("tool_result",
                         R"json({"tool_id":"t1","result":"Logged 2 eggs (180 kcal)"})json"),
    ScriptedReply::event("content_delta", R"({"delta":"Logged **breakfast**. "})"),
    ScriptedReply::event("content_delta", R"({"delta":"Today so far:\n\n- Eggs, *two*\n"})"),
    ScriptedReply::event("content_delta", R"({"delta":"- Toast\n\n| Meal | kcal |\n|---|---|\n"})"),
    ScriptedReply::event("content_delta", R"({"delta":"| Breakfast | 180 |\n| Lunch | 450 |"})"),
    ScriptedReply::event("message_complete", "{}"),
};

const std::vector<std::string> quickActions = {"Log my breakfast", "What did I eat today?",
                                               "Add a todo: buy groceries",
                                               "How many calories this week?"};

struct Node
{
    std::string role;
    std::string name;
    bool showing;
};

// The screen reader's side: tests/ui/accessibility_tree.py, asked one question at a time while
// this process's event loop answers it over AT-SPI.
class ScreenReader
{
public:
    ScreenReader()
    {
        process.start(QStringLiteral("/usr/bin/python3"),
                      {QStringLiteral(VESSA_ACCESSIBILITY_READER),
                       QString::number(QCoreApplication::applicationPid())});
        EXPECT_EQ(answer(), "ready");
    }

    ~ScreenReader()
    {
        process.closeWriteChannel();
        process.waitForFinished(10000);
    }

    // Every node of the application's tree, in document order.
    std::vector<Node> tree()
    {
        std::vector<Node> nodes;
        const auto collect = [&nodes](const nlohmann::json &node, const auto &self) -> void {
            nodes.push_back({node["role"], node["name"], node["showing"]});
            for (const nlohmann::json &child : node["children"])
                self(child, self);
        };
        collect(ask("tree"), collect);
        return nodes;
    }

    // What came on screen since the last call, as the reader heard of it.
    std::vector<Node> shown()
    {
        std::vector<Node> nodes;
        for (const nlohmann::json &node : ask("shown"))
            nodes.push_back({node["role"], node["name"], true});
        return nodes;
    }

private:
    nlohmann::json ask(const char *command)
    {
        process.write(QByteArray(command) + "\n");
        return nlohmann::json::parse(answer());
    }

    // Waits in an event loop of its own rather than in polls with pauses: the reader asks one
    // question per node, each answered here.
    std::string answer()
    {
        QEventLoop loop;
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        QObject::connect(&process, &QProcess::readyReadStandardOutput, &loop, &QEventLoop::quit);
        QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        limit.start(30000);
        while (!process.canReadLine() && process.state() != QProcess::NotRunning &&
               limit.isActive())
            loop.exec();
        EXPECT_TRUE(process.canReadLine()) << process.readAllStandardError().toStdString();
        return process.readLine().trimmed().toStdString();
    }

    QProcess process;
};

int count(const std::vector<Node> &nodes, const std::string &role, const std::string &name)
{
    int found = 0;
    for (const Node &node : nodes)
        found += node.role == role && node.name == name ? 1 : 0;
    return found;
}

int named(const std::vector<Node> &nodes, const std::string &name)
{
    int found = 0;
    for (const Node &node : nodes)
        found += node.name == name ? 1 : 0;
    return found;
}

void expectNothingHidden(const std::vector<Node> &nodes)
{
    for (const Node &node : nodes)
        EXPECT_TRUE(node.showing) << node.role << " \"" << node.name << "\" is hidden";
}

class AccessibilityTreeTest : public SignInFixture
{
protected:
    AccessibilityTreeTest()
    {
        ViewEngine::prepare(engine);
        QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/Vessa/ChatView.qml")));
        auto *item = qobject_cast<QQuickItem *>(component.beginCreate(engine.rootContext()));
        EXPECT_NE(item, nullptr) << component.errorString().toStdString();
        view.reset(item);
        component.setInitialProperties(item, {{"controller", QVariant::fromValue(&controller)}});
        item->setSize({400, 600});
        item->setParentItem(window.contentItem());
        component.completeCreate();
        window.resize(400, 600);
        window.show();
    }

    ScriptedHttpServer chat;
    const SharedInstance<AuthService> sharedAuth{auth};
    ChatViewController controller{
        auth, std::make_unique<ChatService>(chat.url("/api/v1/chat/stream").toString())};
    QQmlEngine engine;
    QQuickWindow window;
    std::unique_ptr<QQuickItem> view;
};

TEST_F(AccessibilityTreeTest, AfterAReplyTheReaderGetsWhatTheScreenShowsOnce)
{
    ScreenReader reader;
    std::vector<Node> nodes = reader.tree();
    expectNothingHidden(nodes);
    for (const std::string &action : quickActions)
        EXPECT_EQ(count(nodes, "push button", action), 1) << action;
    reader.shown();

    chat.route("POST", "/api/v1/chat/stream",
               ScriptedReply::eventStream(reply, std::chrono::milliseconds(50)));
    controller.quickAction(QStringLiteral("What did I eat?"));
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return controller.hasMessages() && !controller.isStreaming(); }, 10000));
    QTest::qWait(300);
    nodes = reader.tree();

    // Nothing hidden is there, and nothing that has a name is there twice.
    expectNothingHidden(nodes);
    std::map<std::string, int> names;
    for (const Node &node : nodes) {
        if (!node.name.empty() && ++names[node.name] == 2)
            ADD_FAILURE() << node.role << " \"" << node.name << "\" is there twice";
    }
    EXPECT_EQ(count(nodes, "label", "What did I eat?"), 1);
    EXPECT_EQ(count(nodes, "push button", "Log Meal"), 1);
    EXPECT_EQ(count(nodes, "label", "Logged breakfast. Today so far:"), 1);
    EXPECT_EQ(count(nodes, "label", "Eggs, two"), 1);
    EXPECT_EQ(count(nodes, "label", "Toast"), 1);
    // The reply has finished, and the empty chat is gone.
    EXPECT_EQ(named(nodes, "Vessa is writing"), 0);
    for (const std::string &action : quickActions)
        EXPECT_EQ(named(nodes, action), 0) << action;
    // The table, row by row and cell by cell.
    EXPECT_EQ(count(nodes, "table", ""), 1);
    EXPECT_EQ(count(nodes, "table row", ""), 3);
    for (const std::string header : {"Meal", "kcal"})
        EXPECT_EQ(count(nodes, "table column header", header), 1) << header;
    for (const std::string cell : {"Breakfast", "180", "Lunch", "450"})
        EXPECT_EQ(count(nodes, "table cell", cell), 1) << cell;
    if (HasFailure()) {
        for (const Node &node : nodes)
            std::printf("tree: %s \"%s\"%s\n", node.role.c_str(), node.name.c_str(),
                        node.showing ? "" : " (hidden)");
    }
    // The finished reply is announced in words.
    EXPECT_EQ(count(reader.shown(), "alert",
                    "Logged breakfast. Today so far:\n\nEggs, two\nToast\n\n"
                    "Meal, kcal\nBreakfast, 180\nLunch, 450"),
              1);
}

} // namespace
