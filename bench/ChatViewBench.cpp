// The chat screen under a streaming reply: the real ChatView, offscreen on the software renderer,
// fed by a local server that streams a 50 KB reply at 200 deltas a second. Prints the time each
// frame took to prepare and draw (p50, p99, max), the CPU time per delta, the resident memory
// after a 50-message conversation with code blocks and tables, and the longest frame while each
// kind of bad input is shown, with the longest time the UI thread was held up.
#include "chat/ChatService.h"
#include "identity/AuthService.h"
#include "identity/KeychainService.h"
#include "model/Conversation.h"
#include "model/SharedInstance.h"
#include "support/ScriptedHttpServer.h"
#include "ui/ChatViewController.h"
#include "ui/ViewEngine.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QNetworkAccessManager>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QTemporaryDir>
#include <QTimer>
#include <QtCore/qtestsupport_core.h>
#include <QtQml/qqmlextensionplugin.h>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

Q_IMPORT_QML_PLUGIN(VessaPlugin)

namespace {

using namespace std::chrono_literals;

constexpr qsizetype replySize = 50 * 1024;
constexpr qsizetype deltaSize = 25;

QByteArray jsonString(const QByteArray &text)
{
    QByteArray escaped;
    for (const char c : text) {
        if (c == '"' || c == '\\')
            escaped += '\\';
        if (c == '\n')
            escaped += "\\n";
        else
            escaped += c;
    }
    return escaped;
}

// A reply as assistants write them: prose, lists, tables and code, separated by blank lines.
QByteArray reply(qsizetype size)
{
    static const char *const sections[] = {
        "Here is a **summary** of your day, with *emphasis* and `inline code`; see "
        "[the diary](https://example.com/diary) for more. It goes on for a sentence or two.\n\n",
        "- Eggs and toast, 320 kcal\n- Salad with chicken, 540 kcal\n- Apple, 95 kcal\n\n",
        "| Meal | kcal | Time |\n|---|---|---|\n| Breakfast | 320 | 08:10 |\n| Lunch | 540 | "
        "12:45 |\n\n",
        "```python\ntotal = sum(meal.kcal for meal in meals)\nprint(total)\n```\n\n",
        "1. Drink water\n2. Walk for 20 minutes\n3. Sleep before eleven\n\n",
    };
    QByteArray text;
    for (std::size_t next = 0; text.size() < size; ++next)
        text += sections[next % std::size(sections)];
    text.truncate(size);
    return text;
}

QList<QByteArray> streamed(const QByteArray &text)
{
    QList<QByteArray> chunks;
    for (qsizetype at = 0; at < text.size(); at += deltaSize) {
        chunks.append(ScriptedReply::event(
            "content_delta", R"({"delta":")" + jsonString(text.mid(at, deltaSize)) + "\"}"));
    }
    chunks.append(ScriptedReply::event("message_complete", "{}"));
    return chunks;
}

double cpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

long residentKilobytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// How long each frame took from its polish to the swap.
class FrameClock
{
public:
    explicit FrameClock(QQuickWindow &window)
    {
        QObject::connect(
            &window, &QQuickWindow::beforeSynchronizing, &window, [this] { frame.start(); },
            Qt::DirectConnection);
        QObject::connect(
            &window, &QQuickWindow::frameSwapped, &window,
            [this] {
                if (frame.isValid())
                    times.push_back(double(frame.nsecsElapsed()) / 1e6);
            },
            Qt::DirectConnection);
    }

    void reset() { times.clear(); }
    double percentile(double p) const
    {
        if (times.empty())
            return 0;
        std::vector<double> sorted = times;
        std::sort(sorted.begin(), sorted.end());
        return sorted[std::min(sorted.size() - 1, std::size_t(p * double(sorted.size())))];
    }
    double longest() const
    {
        return times.empty() ? 0 : *std::max_element(times.begin(), times.end());
    }
    std::size_t count() const { return times.size(); }

private:
    QElapsedTimer frame;
    std::vector<double> times;
};

// The longest time the event loop went without running a 1 ms timer: how long anything held up
// the UI thread.
class StallWatch
{
public:
    StallWatch()
    {
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout,
                         [this] { longest = std::max(longest, since.restart()); });
        since.start();
        timer.start();
    }
    void reset()
    {
        longest = 0;
        since.restart();
    }
    qint64 longestMilliseconds() const { return longest; }

private:
    QTimer timer;
    QElapsedTimer since;
    qint64 longest = 0;
};

bool waitUntilReplied(ChatViewController &controller)
{
    return QTest::qWaitFor([&controller] { return !controller.isStreaming(); }, 60000);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QGuiApplication app(argc, argv);

    QNetworkAccessManager network;
    const SharedInstance<QNetworkAccessManager> sharedNetwork(network);
    QTemporaryDir storeFolder;
    KeychainService store(storeFolder.path());
    AuthService auth(store, QUrl(QStringLiteral("http://127.0.0.1:9")),
                     QUrl(QStringLiteral("http://127.0.0.1:9")), QStringLiteral("client"),
                     QString(), [](const QUrl &) { return true; });
    const SharedInstance<AuthService> sharedAuth(auth);
    ScriptedHttpServer server;
    const QString endpoint = server.url("/api/v1/chat/stream").toString();
    ChatViewController controller(auth, std::make_unique<ChatService>(endpoint));

    QQmlEngine engine;
    ViewEngine::prepare(engine);
    QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/Vessa/ChatView.qml")));
    std::unique_ptr<QQuickItem> view(qobject_cast<QQuickItem *>(
        component.createWithInitialProperties({{"controller", QVariant::fromValue(&controller)}})));
    if (!view) {
        std::fprintf(stderr, "%s\n", qPrintable(component.errorString()));
        return 1;
    }
    QQuickWindow window;
    window.resize(400, 600);
    view->setSize({400, 600});
    view->setParentItem(window.contentItem());
    window.show();
    FrameClock frames(window);
    StallWatch stalls;
    QTest::qWait(200);

    // 1. One reply of 50 KB at 200 deltas a second.
    const QList<QByteArray> deltas = streamed(reply(replySize));
    server.route("POST", "/api/v1/chat/stream", ScriptedReply::eventStream(deltas, 5ms));
    frames.reset();
    const double cpuBefore = cpuSeconds();
    controller.quickAction(QStringLiteral("How was my day?"));
    if (!waitUntilReplied(controller))
        return 1;
    const double cpuPerDelta = (cpuSeconds() - cpuBefore) / double(deltas.size() - 1);
    std::printf("Streaming %lld KB in %lld deltas at 200/s: %zu frames, p50 %.2f ms, p99 %.2f ms, "
                "max %.2f ms; CPU per delta %.3f ms\n",
                replySize / 1024, deltas.size() - 1, frames.count(), frames.percentile(0.5),
                frames.percentile(0.99), frames.longest(), cpuPerDelta * 1000);

    // 2. A conversation of 50 messages, each reply with code blocks and tables.
    server.route("POST", "/api/v1/chat/stream", ScriptedReply::eventStream(streamed(reply(2000))));
    while (controller.currentConversation()->messages().size() < 50) {
        controller.quickAction(QStringLiteral("And then?"));
        if (!waitUntilReplied(controller))
            return 1;
    }
    QTest::qWait(200);
    std::printf("After %lld messages: resident %ld KB, peak %ld KB\n",
                controller.currentConversation()->messages().size(), residentKilobytes("VmRSS:"),
                residentKilobytes("VmHWM:"));

    // 3. Bad input, each as one whole reply at the end of that conversation: the longest frame
    //    while it comes on screen, and the longest time the UI thread was held up.
    const struct
    {
        const char *name;
        QByteArray text;
    } badInputs[] = {
        {"1 MB reply", reply(1024 * 1024)},
        {"one 100 KB line", QByteArray(100 * 1024, 'w').replace(QByteArray(7, 'w'), "words. ")},
        {"list of 1,000 items",
         [] {
             QByteArray list;
             for (int i = 0; i < 1000; ++i)
                 list += "- item " + QByteArray::number(i) + "\n";
             return list;
         }()},
        {"table of 200 columns",
         [] {
             QByteArray header = "|", separator = "|", row = "|";
             for (int i = 0; i < 200; ++i) {
                 header += " c" + QByteArray::number(i) + " |";
                 separator += "---|";
                 row += " " + QByteArray::number(i) + " |";
             }
             return header + "\n" + separator + "\n" + row + "\n" + row + "\n";
         }()},
        {"raw HTML and script", QByteArray(200, 'x') + "<script>alert(1)</script><b>bold?</b>"},
        {"right-to-left, combining, emoji",
         "\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d \xd8\xa7\xd9\x84\xd8\xb3\xd9\x84\xd8\xa7\xd9\x85 "
         "e\xcc\x81\xcc\x82 \xf0\x9f\x91\xa9\xe2\x80\x8d\xf0\x9f\x92\xbb "
         "\xf0\x9f\x87\xab\xf0\x9f\x87\xb7"},
    };
    for (const auto &bad : badInputs) {
        server.route("POST", "/api/v1/chat/stream",
                     ScriptedReply::eventStream(
                         {ScriptedReply::event("content_delta",
                                               R"({"delta":")" + jsonString(bad.text) + "\"}"),
                          ScriptedReply::event("message_complete", "{}")}));
        frames.reset();
        stalls.reset();
        controller.quickAction(QStringLiteral("Show me"));
        if (!waitUntilReplied(controller))
            return 1;
        QTest::qWait(300);
        std::printf("%-34s longest frame %7.1f ms, longest stall of the UI thread %5lld ms\n",
                    bad.name, frames.longest(), stalls.longestMilliseconds());
    }
    return 0;
}
