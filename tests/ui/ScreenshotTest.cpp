#include "app/SignInFixture.h"
#include "chat/ChatService.h"
#include "model/Message.h"
#include "model/SharedInstance.h"
#include "support/TaskAwaiting.h"
#include "ui/ChatViewController.h"
#include "ui/ParagraphParts.h"
#include "ui/ViewEngine.h"
#include "ui/VoiceChatViewController.h"

#include <QDir>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPalette>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRectF>
#include <QSGRendererInterface>
#include <QtQml/qqmlextensionplugin.h>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <nlohmann/json.hpp>
#include <utility>

Q_IMPORT_QML_PLUGIN(VessaPlugin)

namespace {

// A reply with every kind of block, a link and two tools.
const QList<QByteArray> richReply = {
    ScriptedReply::event(
        "tool_use_start",
        R"({"tool_id":"t1","tool":"log_meal","input":{"food":"eggs","calories":180}})"),
    ScriptedReply::event("tool_result",
                         R"json({"tool_id":"t1","result":"Logged 2 eggs (180 kcal)"})json"),
    ScriptedReply::event("tool_use_start",
                         R"({"tool_id":"t2","tool":"get_daily_totals","input":{}})"),
    ScriptedReply::event("tool_result", R"({"tool_id":"t2","result":"1,240 kcal"})"),
    ScriptedReply::event(
        "content_delta",
        R"json({"delta":"Logged **breakfast**. Today so far:\n\n- Eggs\n- Toast\n\n| Meal | kcal |\n|---|---|\n| Breakfast | 180 |\n| Lunch | 1060 |\n\n```python\ntotal = 180 + 1060\n```\n\nSee [your diary](https://example.com/diary)."})json"),
    ScriptedReply::event("message_complete", "{}"),
};

QPalette palette(bool dark)
{
    QPalette colors;
    const auto set = [&colors](QPalette::ColorRole role, const char *hex) {
        colors.setColor(role, QColor(QString::fromLatin1(hex)));
    };
    set(QPalette::Window, dark ? "#1e1e1e" : "#ececec");
    set(QPalette::WindowText, dark ? "#d9ffffff" : "#d9000000");
    set(QPalette::Base, dark ? "#2a2a2a" : "#ffffff");
    set(QPalette::Button, dark ? "#323232" : "#f6f6f6");
    set(QPalette::ButtonText, dark ? "#ffffff" : "#000000");
    set(QPalette::Text, dark ? "#ffffff" : "#000000");
    set(QPalette::PlaceholderText, dark ? "#8cffffff" : "#80000000");
    set(QPalette::Mid, dark ? "#4a4a4a" : "#c6c6c6");
    set(QPalette::Link, dark ? "#4aa3ff" : "#0064d2");
    return colors;
}

// Renders screens offscreen to build/screenshots and compares each with its reference in
// tests/ui/screenshots. Fonts hint differently between machines, so a pixel counts as changed
// only when a channel moves by more than 64, and a screen passes with under 2% of them.
class ScreenshotTest : public SignInFixture, public testing::WithParamInterface<bool>
{
protected:
    ScreenshotTest()
    {
        // The renderer the application uses, and the same on every machine.
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
        QGuiApplication::setPalette(palette(GetParam()));
        ViewEngine::prepare(engine);
    }
    ~ScreenshotTest() override { QGuiApplication::setPalette(QPalette()); }

    QQuickItem *show(const QString &view, const QVariantMap &properties = {})
    {
        QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/Vessa/%1.qml").arg(view)));
        // In the window before it completes, as in the application, so that what the view does
        // on completion (an alert, for one) has a window to show in.
        auto *item = qobject_cast<QQuickItem *>(component.beginCreate(engine.rootContext()));
        EXPECT_NE(item, nullptr) << component.errorString().toStdString();
        root.reset(item);
        window.resize(400, 600);
        component.setInitialProperties(item, properties);
        item->setSize({400, 600});
        item->setParentItem(window.contentItem());
        component.completeCreate();
        window.show();
        return item;
    }

    void expectLooksLikeReference(const QString &name)
    {
        QTest::qWait(150);
        const QString file = name + (GetParam() ? QStringLiteral("-dark.png") : ".png");
        const QImage shot = window.grabWindow().convertToFormat(QImage::Format_RGB32);
        QDir().mkpath(QStringLiteral(VESSA_SCREENSHOT_OUTPUT));
        shot.save(QStringLiteral(VESSA_SCREENSHOT_OUTPUT "/") + file);
        const QString referencePath = QStringLiteral(VESSA_SCREENSHOT_REFERENCES "/") + file;
        if (qEnvironmentVariableIsSet("VESSA_UPDATE_SCREENSHOTS"))
            shot.save(referencePath);
        const QImage reference = QImage(referencePath).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(reference.size(), shot.size()) << "no reference " << referencePath.toStdString();
        qsizetype changed = 0;
        for (int y = 0; y < shot.height(); ++y) {
            for (int x = 0; x < shot.width(); ++x) {
                const QRgb a = shot.pixel(x, y);
                const QRgb b = reference.pixel(x, y);
                changed += std::abs(qRed(a) - qRed(b)) > 64 ||
                           std::abs(qGreen(a) - qGreen(b)) > 64 ||
                           std::abs(qBlue(a) - qBlue(b)) > 64;
            }
        }
        EXPECT_LT(double(changed) / double(shot.width() * shot.height()), 0.02)
            << file.toStdString();
    }

    // Checks each visible text under `item` that holds a name with markup: it is laid out as its
    // characters (drawn as markup, the tags would take no room) and stays on the screen. Returns
    // how many there are.
    static int checkNamesDrawn(QQuickItem *item)
    {
        int count = 0;
        QList<QQuickItem *> pending{item};
        while (!pending.isEmpty()) {
            QQuickItem *next = pending.takeFirst();
            pending.append(next->childItems());
            const QString text = next->property("text").toString();
            if (!next->isVisible() ||
                !text.contains(QStringLiteral("<img src="), Qt::CaseInsensitive))
                continue;
            ++count;
            const QFont font = next->property("font").value<QFont>();
            const qreal padding =
                next->property("leftPadding").toReal() + next->property("rightPadding").toReal();
            EXPECT_NEAR(next->implicitWidth() - padding,
                        QFontMetricsF(font).horizontalAdvance(text), 2)
                << text.toStdString();
            const QRectF drawn = next->mapRectToScene(QRectF(0, 0, next->width(), next->height()));
            EXPECT_TRUE(QRectF(0, 0, 400, 600).contains(drawn)) << text.toStdString();
        }
        return count;
    }

    // A voice screen whose session waits on a server that never answers, with a tone for a
    // microphone; the texts stay after a release.
    VoiceChatViewController &voiceScreen()
    {
        root.reset();
        voiceController = std::make_unique<VoiceChatViewController>(
            auth,
            std::make_unique<VoiceChatService>(
                voice.url("").toString(),
                RtcMediaDevices{QStringLiteral("audiotestsrc is-live=true wave=silence"),
                                QStringLiteral("fakesink"),
                                {QStringLiteral("127.0.0.1")}}),
            [](std::chrono::milliseconds, const std::function<void()> &) {});
        return *voiceController;
    }

    ChatViewController &chatScreen()
    {
        controller = std::make_unique<ChatViewController>(
            auth, std::make_unique<ChatService>(chat.url("/api/v1/chat/stream").toString()));
        return *controller;
    }

    ScriptedHttpServer chat;
    const SharedInstance<AuthService> sharedAuth{auth};
    std::unique_ptr<ChatViewController> controller;
    ScriptedHttpServer voice;
    std::unique_ptr<VoiceChatViewController> voiceController;
    QQmlEngine engine;
    QQuickWindow window;
    std::unique_ptr<QQuickItem> root;
};

TEST_P(ScreenshotTest, SignIn)
{
    show(QStringLiteral("LoginView"));
    expectLooksLikeReference(QStringLiteral("sign-in"));
}

TEST_P(ScreenshotTest, EmptyChatThenAReplyWithEveryBlockThenAnError)
{
    ChatViewController &screen = chatScreen();
    QQuickItem *view =
        show(QStringLiteral("ChatView"), {{"controller", QVariant::fromValue(&screen)}});
    expectLooksLikeReference(QStringLiteral("chat-empty"));

    chat.route("POST", "/api/v1/chat/stream", ScriptedReply::eventStream(richReply));
    screen.quickAction(QStringLiteral("Log my breakfast"));
    ASSERT_TRUE(
        QTest::qWaitFor([&screen] { return screen.hasMessages() && !screen.isStreaming(); }));
    QTest::qWait(100);
    QList<QQuickItem *> cards;
    QList<QQuickItem *> pending{view};
    while (!pending.isEmpty()) {
        QQuickItem *item = pending.takeFirst();
        if (QString::fromLatin1(item->metaObject()->className()).startsWith("ExpandableToolCard"))
            cards.append(item);
        pending.append(item->childItems());
    }
    ASSERT_EQ(cards.size(), 2);
    cards.first()->setProperty("isExpanded", true);
    QTest::qWait(400);
    expectLooksLikeReference(QStringLiteral("chat-reply"));

    chat.route("POST", "/api/v1/chat/stream", ScriptedReply::json("{}", 500));
    screen.quickAction(QStringLiteral("Again"));
    ASSERT_TRUE(QTest::qWaitFor([&screen] { return screen.alert()->isShown(); }));
    expectLooksLikeReference(QStringLiteral("chat-error"));
}

// Inline code is monospace on a tint of its own, on the user's bubble and on the assistant's.
TEST_P(ScreenshotTest, InlineCode)
{
    ChatViewController &screen = chatScreen();
    show(QStringLiteral("ChatView"), {{"controller", QVariant::fromValue(&screen)}});
    chat.route("POST", "/api/v1/chat/stream",
               ScriptedReply::eventStream(
                   {ScriptedReply::event(
                        "content_delta",
                        R"({"delta":"Run `ls -la` in the folder: `iiiiiiii` and `MMMMMMMM` )"
                        R"(take the same room, and **`bold code`** too."})"),
                    ScriptedReply::event("message_complete", "{}")}));
    screen.quickAction(QStringLiteral("How do I see hidden files with `ls`?"));
    ASSERT_TRUE(
        QTest::qWaitFor([&screen] { return screen.hasMessages() && !screen.isStreaming(); }));
    expectLooksLikeReference(QStringLiteral("chat-inline-code"));
}

// A table of 40 rows, its end in view: the long cell near the end is shown whole.
TEST_P(ScreenshotTest, FortyRowTableWithALongCell)
{
    QByteArray table = "| # | Meal | Note |\\n|---|---|---|\\n";
    for (int row = 1; row <= 40; ++row) {
        const QByteArray note = row == 39 ? "Breakfast came late, so lunch moved to two. The note "
                                            "goes on to show that a cell this long is read whole, "
                                            "wrapped in its column, not cut after eight lines: "
                                            "one, two, three, four, five, six, seven, eight, nine."
                                          : "ok";
        table += "| " + QByteArray::number(row) + " | Meal " + QByteArray::number(row) + " | " +
                 note + " |\\n";
    }
    ChatViewController &screen = chatScreen();
    show(QStringLiteral("ChatView"), {{"controller", QVariant::fromValue(&screen)}});
    chat.route("POST", "/api/v1/chat/stream",
               ScriptedReply::eventStream(
                   {ScriptedReply::event("content_delta", R"({"delta":")" + table + "\"}"),
                    ScriptedReply::event("message_complete", "{}")}));
    screen.quickAction(QStringLiteral("What did I eat this month?"));
    ASSERT_TRUE(
        QTest::qWaitFor([&screen] { return screen.hasMessages() && !screen.isStreaming(); }));
    expectLooksLikeReference(QStringLiteral("chat-long-table"));
}

TEST_P(ScreenshotTest, Settings)
{
    QCoro::Task<> signingIn = beginSignIn();
    auth.resumeAuthContinuation(callbackURL(QStringLiteral("code-1")));
    ASSERT_TRUE(QTest::qWaitFor([this] { return auth.isAuthenticated(); }));
    show(QStringLiteral("SettingsView"));
    expectLooksLikeReference(QStringLiteral("settings"));
}

TEST_P(ScreenshotTest, VoiceChatInEachState)
{
    VoiceChatViewController &signedOut = voiceScreen();
    show(QStringLiteral("VoiceChatView"), {{"controller", QVariant::fromValue(&signedOut)}});
    ASSERT_TRUE(signedOut.alert()->isShown());
    expectLooksLikeReference(QStringLiteral("voice-signed-out"));

    QCoro::Task<> signingIn = beginSignIn();
    auth.resumeAuthContinuation(callbackURL(QStringLiteral("code-1")));
    ASSERT_TRUE(QTest::qWaitFor([this] { return auth.isAuthenticated(); }));
    ScriptedReply silence;
    silence.neverAnswer = true;
    voice.route("POST", "/api/offer", silence);
    VoiceChatViewController &screen = voiceScreen();
    VoiceChatService &session = *screen.voiceService();
    show(QStringLiteral("VoiceChatView"), {{"controller", QVariant::fromValue(&screen)}});
    expectLooksLikeReference(QStringLiteral("voice-connecting"));

    session.handleConnectionStateChange(2);
    // The talk button's spring comes to rest.
    QTest::qWait(300);
    expectLooksLikeReference(QStringLiteral("voice-listening"));

    session.onTranscriptUpdate(QStringLiteral("What's on my calendar today?"));
    session.onAssistantResponse(
        QStringLiteral("Two meetings: the design review at 10 and lunch with Sam at 1."));
    screen.release();
    QTest::qWait(300);
    expectLooksLikeReference(QStringLiteral("voice-muted"));

    session.handleOutputAudioLevel(0.6f);
    expectLooksLikeReference(QStringLiteral("voice-speaking"));

    session.handleOutputAudioLevel(0);
    session.handleConnectionStateChange(3);
    ASSERT_TRUE(QTest::qWaitFor([&session] { return !session.isSpeaking(); }));
    expectLooksLikeReference(QStringLiteral("voice-disconnected"));
}

// A long paragraph streamed word by word wraps as the same paragraph set at once: a piece the
// list keeps it in never starts a line of its own.
TEST_P(ScreenshotTest, LongParagraphStreamedWordByWordWrapsAsOne)
{
    QByteArray paragraph;
    for (int sentence = 0; paragraph.size() < 5 * 1024; ++sentence)
        paragraph += "Sentence " + QByteArray::number(sentence) +
                     " says a **little** more, with `code` and a [link](https://example.com). ";
    QList<QByteArray> words;
    for (const QByteArray &word : paragraph.trimmed().split(' '))
        words.append(ScriptedReply::event("content_delta", R"({"delta":")" + word + " \"}"));
    words.append(ScriptedReply::event("message_complete", "{}"));

    ChatViewController &screen = chatScreen();
    QQuickItem *view =
        show(QStringLiteral("ChatView"), {{"controller", QVariant::fromValue(&screen)}});
    auto *list = view->findChild<QQuickItem *>(QStringLiteral("messageList"));
    ASSERT_NE(list, nullptr);
    QTest::qWait(150);
    const QImage empty = window.grabWindow();
    // The list alone: the message field's cursor blinks.
    const auto shot = [&](const QList<QByteArray> &reply) {
        chat.route("POST", "/api/v1/chat/stream",
                   ScriptedReply::eventStream(reply, std::chrono::milliseconds(1)));
        screen.newConversation();
        screen.quickAction(QStringLiteral("Tell me more"));
        EXPECT_TRUE(QTest::qWaitFor([&screen] { return !screen.isStreaming(); }, 30000));
        QTest::qWait(300);
        return window.grabWindow().copy(
            list->mapRectToScene(QRectF(0, 0, list->width(), list->height())).toRect());
    };
    // It is in parts cut where its lines start at the width the list gives it: no part but the
    // last holds fewer lines on screen, none more, and they lie part under part as the lines of one
    // paragraph: no gap, no overlap, no indent between them.
    const auto expectPartsJoin = [&] {
        int parts = 0;
        int shortParts = 0;
        QList<QRectF> placed;
        for (QList<QQuickItem *> pending{list}; !pending.isEmpty();) {
            QQuickItem *item = pending.takeFirst();
            pending.append(item->childItems());
            const QQuickItem *bubble =
                item->parentItem() ? item->parentItem()->parentItem() : nullptr;
            if (item->objectName() != QStringLiteral("paragraph") || !item->isVisible() ||
                !bubble || !bubble->parentItem() ||
                bubble->parentItem()->objectName() != "textBubble")
                continue;
            ++parts;
            EXPECT_EQ(item->width(), screen.messages()->textWidth());
            const auto lines = item->property("lineCount").toULongLong();
            EXPECT_LE(lines, ParagraphParts::linesPerPart);
            shortParts += lines < ParagraphParts::linesPerPart ? 1 : 0;
            placed.append(item->mapRectToScene(QRectF(0, 0, item->width(), item->height())));
        }
        EXPECT_GT(parts, 1);
        EXPECT_LE(shortParts, 1);
        std::sort(placed.begin(), placed.end(),
                  [](const QRectF &a, const QRectF &b) { return a.top() < b.top(); });
        for (qsizetype at = 1; at < placed.size(); ++at) {
            EXPECT_DOUBLE_EQ(placed[at].top(), placed[at - 1].bottom()) << at;
            EXPECT_DOUBLE_EQ(placed[at].left(), placed[at - 1].left()) << at;
        }
    };
    const QImage streamed = shot(words);
    expectPartsJoin();
    const QImage atOnce =
        shot({ScriptedReply::event("content_delta", R"({"delta":")" + paragraph + "\"}"),
              ScriptedReply::event("message_complete", "{}")});
    EXPECT_EQ(streamed, atOnce);
    expectPartsJoin();
    // Nothing of the list shows over the header, scrolled as far as it is.
    const QRect header(0, 0, 400, int(list->mapToScene({0, 0}).y()));
    ASSERT_GT(header.height(), 0);
    EXPECT_EQ(window.grabWindow().copy(header), empty.copy(header));
    expectLooksLikeReference(QStringLiteral("chat-long-paragraph"));
}

// A reply cut short keeps its text and says under it why it ends there: the stream closed early,
// the user stopped it, or the send failed, which offers to send the message again.
TEST_P(ScreenshotTest, RepliesCutShortSayWhyAndAFailedOneOffersRetry)
{
    const QList<QByteArray> twoDeltas = {
        ScriptedReply::event("content_delta", R"({"delta":"Breakfast had about "})"),
        ScriptedReply::event("content_delta", R"({"delta":"320 kcal, and lunch"})")};
    ChatViewController &screen = chatScreen();
    QQuickItem *view =
        show(QStringLiteral("ChatView"), {{"controller", QVariant::fromValue(&screen)}});
    const auto ask = [&screen, this](const ScriptedReply &reply) {
        chat.route("POST", "/api/v1/chat/stream", reply);
        screen.newConversation();
        screen.quickAction(QStringLiteral("How much did I eat?"));
    };

    ask(ScriptedReply::eventStream(twoDeltas));
    ASSERT_TRUE(
        QTest::qWaitFor([&screen] { return screen.hasMessages() && !screen.isStreaming(); }));
    expectLooksLikeReference(QStringLiteral("chat-incomplete"));

    ScriptedReply running = ScriptedReply::eventStream(twoDeltas);
    running.holdOpen = true;
    ask(running);
    ASSERT_TRUE(QTest::qWaitFor([&screen] {
        return screen.streamingMessage() &&
               screen.streamingMessage()->content().endsWith(QStringLiteral("lunch"));
    }));
    screen.stop();
    expectLooksLikeReference(QStringLiteral("chat-stopped"));

    ScriptedReply cut = ScriptedReply::eventStream(twoDeltas);
    cut.dropAfterChunks = true;
    ask(cut);
    ASSERT_TRUE(QTest::qWaitFor([&screen] { return screen.canRetry(); }));
    screen.alert()->setShown(false);
    expectLooksLikeReference(QStringLiteral("chat-retry"));

    chat.route("POST", "/api/v1/chat/stream",
               ScriptedReply::eventStream(
                   {ScriptedReply::event("content_delta", R"({"delta":"About 320."})"),
                    ScriptedReply::event("message_complete", "{}")}));
    const auto find = [view](const QString &name) {
        for (QList<QQuickItem *> pending{view}; !pending.isEmpty();) {
            QQuickItem *item = pending.takeFirst();
            if (item->objectName() == name && item->isVisible())
                return item;
            pending.append(item->childItems());
        }
        return static_cast<QQuickItem *>(nullptr);
    };
    QQuickItem *retry = find(QStringLiteral("retryButton"));
    ASSERT_NE(retry, nullptr);
    QTest::mouseClick(&window, Qt::LeftButton, {},
                      retry->mapToScene({retry->width() / 2, retry->height() / 2}).toPoint());
    ASSERT_TRUE(QTest::qWaitFor([&] { return chat.requests().size() == 4 && !screen.canRetry(); }));
    EXPECT_TRUE(chat.requests().last().body.contains("How much did I eat?"));
    // The Retry row is gone, and the keyboard is back in the message field.
    EXPECT_TRUE(find(QStringLiteral("messageField"))->hasActiveFocus());
}

// Replies no one should send are drawn as text, whole, without taking the screen down.
TEST_P(ScreenshotTest, BadInputIsDrawnAsText)
{
    QByteArray list, table = "|", separator = "|";
    for (int i = 0; i < 1000; ++i)
        list += "- item " + QByteArray::number(i) + "\\n";
    for (int i = 0; i < 200; ++i) {
        table += " c" + QByteArray::number(i) + " |";
        separator += "---|";
    }
    const QList<QByteArray> inputs = {
        QByteArray(1024 * 1024, 'w').replace(QByteArray(8, 'w'), "words.\\n\\n"),
        QByteArray(100 * 1024, 'w').replace(QByteArray(7, 'w'), "words. "),
        list,
        table + "\\n" + separator + "\\n" + table,
        "\\u05e9\\u05dc\\u05d5\\u05dd e\\u0301\\u0302 \\ud83d\\udc69\\u200d\\ud83d\\udcbb",
        "<script>alert(1)</script><b>bold?</b>",
    };
    ChatViewController &screen = chatScreen();
    show(QStringLiteral("ChatView"), {{"controller", QVariant::fromValue(&screen)}});
    for (const QByteArray &input : inputs) {
        chat.route("POST", "/api/v1/chat/stream",
                   ScriptedReply::eventStream(
                       {ScriptedReply::event("content_delta", R"({"delta":")" + input + "\"}"),
                        ScriptedReply::event("message_complete", "{}")}));
        screen.quickAction(QStringLiteral("Show me"));
        ASSERT_TRUE(QTest::qWaitFor([&screen] { return !screen.isStreaming(); }, 30000));
        ASSERT_FALSE(screen.alert()->isShown()) << screen.alert()->message().toStdString();
        QTest::qWait(50);
        EXPECT_FALSE(window.grabWindow().isNull());
    }
    // The last reply's text is escaped, not interpreted.
    const MessageListModel &rows = *screen.messages();
    const QString shown =
        rows.data(rows.index(rows.rowCount() - 2), MessageListModel::TextRole).toString();
    EXPECT_TRUE(shown.contains(QStringLiteral("&lt;script&gt;alert(1)&lt;/script&gt;")));
    EXPECT_FALSE(shown.contains(QStringLiteral("<script>")));
}

// Names a server sent are drawn as their characters: as markup, "<b>" would draw bold and an
// "<img>" would fetch from any host.
TEST_P(ScreenshotTest, NamesFromServersAreDrawnAsTheirCharacters)
{
    ScriptedHttpServer tracker;
    const std::string name =
        R"(<b>Bold</b><img src=")" + tracker.url("/p.png").toString().toStdString() + R"(">)";
    const auto json = [](const nlohmann::json &value) {
        return QByteArray::fromStdString(value.dump());
    };
    identityProvider.route(
        "POST", "/user_management/authenticate",
        ScriptedReply::json(json(
            {{"user", {{"id", "u"}, {"email", name}, {"first_name", name}, {"last_name", name}}},
             {"access_token", "t"}})));
    identityProvider.route("GET", "/api/user/info", ScriptedReply::json(json({{"ai_name", name}})));
    QCoro::Task<> signingIn = beginSignIn();
    auth.resumeAuthContinuation(callbackURL(QStringLiteral("code-1")));
    ASSERT_TRUE(QTest::qWaitFor([this] { return auth.isAuthenticated(); }));
    awaitTask(auth.fetchUserInfo());
    ASSERT_EQ(auth.aiName().toStdString(), name);

    // The title, the empty chat and the input's placeholder; then the title, the placeholder and
    // a tool card.
    ChatViewController &screen = chatScreen();
    QQuickItem *view =
        show(QStringLiteral("ChatView"), {{"controller", QVariant::fromValue(&screen)}});
    EXPECT_EQ(checkNamesDrawn(view), 3);
    chat.route(
        "POST", "/api/v1/chat/stream",
        ScriptedReply::eventStream(
            {ScriptedReply::event(
                 "tool_use_start",
                 json({{"tool_id", "t1"}, {"tool", name}, {"input", nlohmann::json::object()}})),
             ScriptedReply::event("message_complete", "{}")}));
    screen.quickAction(QStringLiteral("Hello"));
    ASSERT_TRUE(
        QTest::qWaitFor([&screen] { return screen.hasMessages() && !screen.isStreaming(); }));
    QTest::qWait(100);
    EXPECT_EQ(checkNamesDrawn(view), 3);

    // The account's name and e-mail, and the assistant's name.
    EXPECT_EQ(checkNamesDrawn(show(QStringLiteral("SettingsView"))), 3);

    VoiceChatViewController &talking = voiceScreen();
    view = show(QStringLiteral("VoiceChatView"), {{"controller", QVariant::fromValue(&talking)}});
    talking.voiceService()->handleConnectionStateChange(2);
    talking.voiceService()->handleOutputAudioLevel(0.6f);
    ASSERT_TRUE(QTest::qWaitFor([&talking] { return talking.voiceService()->isSpeaking(); }));
    EXPECT_EQ(checkNamesDrawn(view), 1);
    EXPECT_TRUE(tracker.requests().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(LightAndDark, ScreenshotTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool> &param) {
                             return param.param ? "Dark" : "Light";
                         });

} // namespace
