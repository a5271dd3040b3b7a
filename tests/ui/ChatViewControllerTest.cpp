#include "ui/ChatViewController.h"

#include "app/SignInFixture.h"
#include "chat/ChatService.h"
#include "markdown/InlineMarkdown.h"
#include "model/Conversation.h"
#include "model/Message.h"
#include "support/TaskAwaiting.h"
#include "ui/LoginViewController.h"
#include "ui/ToolCallListModel.h"

#include <QMetaEnum>
#include <QPersistentModelIndex>
#include <QSignalSpy>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <memory>
#include <numeric>
#include <ostream>
#include <vector>

// Failures show lists of texts as text.
static void PrintTo(const QStringList &texts, std::ostream *out)
{
    *out << '[' << texts.join(QStringLiteral("|")).toStdString() << ']';
}

namespace {

QByteArray delta(const QByteArray &text)
{
    return ScriptedReply::event("content_delta", R"({"delta":")" + text + "\"}");
}

const QByteArray toolStart = ScriptedReply::event(
    "tool_use_start", R"({"tool_id":"t1","tool":"log_meal","input":{"food":"eggs"}})");
const QByteArray complete = ScriptedReply::event("message_complete", "{}");

// A stream that does not end: held open after its chunks, as a reply still being written is, or
// dropped.
ScriptedReply unfinished(QList<QByteArray> chunks,
                         bool ScriptedReply::*fault = &ScriptedReply::holdOpen)
{
    ScriptedReply reply = ScriptedReply::eventStream(std::move(chunks));
    reply.*fault = true;
    return reply;
}

// The texts of the conversation's messages, each with how it ended when it did not complete.
QStringList contents(const Conversation *conversation)
{
    QStringList texts;
    for (const Message *message : conversation->sortedMessages()) {
        const auto ending =
            QMetaEnum::fromType<Message::Ending>().valueToKey(int(message->ending()));
        texts.append(message->content() + (message->ending() == Message::Ending::complete
                                               ? QString()
                                               : QStringLiteral(" (%1)").arg(ending)));
    }
    return texts;
}

// What the list shows, piece by piece.
QStringList pieces(const MessageListModel &model)
{
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row)
        names.append(model.data(model.index(row), MessageListModel::KindRole).toString());
    return names;
}

// A screen whose chat goes to a local server and whose scroll throttle runs on a clock the test
// advances by hand.
class ChatViewControllerTest : public SignInFixture
{
protected:
    void signIn()
    {
        QCoro::Task<> signingIn = beginSignIn();
        auth.resumeAuthContinuation(callbackURL(QStringLiteral("code-1")));
        awaitTask(std::move(signingIn));
    }

    void sendAndWait(const QString &text)
    {
        controller.setInputText(text);
        controller.send();
        waitForReply();
    }

    void waitForReply()
    {
        EXPECT_TRUE(QTest::qWaitFor([this] { return !controller.isStreaming(); }, 30'000));
    }

    // The message the reply streams into, once it shows that text; none if it never does.
    Message *waitForStreamed(const QString &text)
    {
        const bool shown = QTest::qWaitFor([this, &text] {
            return controller.streamingMessage() &&
                   controller.streamingMessage()->content() == text;
        });
        return shown ? controller.streamingMessage() : nullptr;
    }

    const Message &lastMessage() const
    {
        return *controller.currentConversation()->sortedMessages().last();
    }

    // Runs the throttle's timers that are due; each scheduled wait is one interval.
    void advanceClock()
    {
        std::vector<std::function<void()>> due = std::exchange(scheduled, {});
        for (auto &callback : due)
            callback();
    }

    ScriptedHttpServer chat;
    std::vector<std::function<void()>> scheduled;
    ChatViewController controller{
        auth, std::make_unique<ChatService>(chat.url("/api/v1/chat/stream").toString()),
        [this](std::chrono::milliseconds, std::function<void()> callback) {
            scheduled.push_back(std::move(callback));
        }};
    QSignalSpy resets{controller.messages(), &QAbstractItemModel::modelReset};
    QSignalSpy scrolls{&controller, &ChatViewController::scrollToBottomRequested};
};

TEST_F(ChatViewControllerTest, AReplyOfTwoTurnsBecomesTwoMessagesWhileTheListOnlyGrows)
{
    chat.route("POST", "/api/v1/chat/stream",
               ScriptedReply::eventStream({toolStart, delta("Logged"), complete, delta("Anything"),
                                           delta(" else?"), complete},
                                          std::chrono::milliseconds(5)));
    QSignalSpy rowChanges(controller.messages(), &QAbstractItemModel::dataChanged);
    QSignalSpy finished(&controller, &ChatViewController::replyFinished);

    sendAndWait(QStringLiteral("  Log my breakfast\n"));

    EXPECT_EQ(controller.inputText(), QString());
    // Each turn is a message of its own; the service hands over the reply's text so far.
    const QStringList texts = contents(controller.currentConversation());
    ASSERT_EQ(texts.size(), 3);
    EXPECT_EQ(texts[1], QStringLiteral("Logged"));
    EXPECT_TRUE(texts[2].endsWith(QStringLiteral("Anything else?")));
    EXPECT_EQ(controller.currentConversation()->sortedMessages()[1]->toolCalls().size(), 1);
    EXPECT_EQ(controller.currentConversation()->title(), QStringLiteral("Log my breakfast"));
    EXPECT_EQ(controller.streamingMessage(), nullptr);
    EXPECT_EQ(pieces(*controller.messages()),
              QStringList({"user", "tools", "block", "copy", "tools", "block", "copy"}));
    // Deltas changed the streaming row alone; nothing ever reset the list.
    EXPECT_EQ(resets.count(), 0);
    for (const QList<QVariant> &change : rowChanges)
        EXPECT_EQ(change[0].toModelIndex(), change[1].toModelIndex());
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished[0][0].toString(), texts[2]);
    EXPECT_FALSE(controller.alert()->isShown());
}

// What arrived is never dropped: a stream that closes without completing its last turn keeps
// that turn's text, marked, without an alert.
TEST_F(ChatViewControllerTest, AStreamClosedBeforeItsCompleteKeepsTheTextAsIncomplete)
{
    chat.route("POST", "/api/v1/chat/stream",
               ScriptedReply::eventStream({delta("Half "), delta("a reply")}));
    sendAndWait(QStringLiteral("Hello"));
    EXPECT_EQ(contents(controller.currentConversation()),
              QStringList({"Hello", "Half a reply (incomplete)"}));

    chat.route("POST", "/api/v1/chat/stream",
               ScriptedReply::eventStream({delta("Done."), complete, toolStart, delta(" PS")}));
    sendAndWait(QStringLiteral("Again"));
    EXPECT_EQ(contents(controller.currentConversation()).mid(2),
              QStringList({"Again", "Done.", " PS (incomplete)"}));
    EXPECT_FALSE(lastMessage().toolCalls().first().isExecuting);
    EXPECT_FALSE(controller.alert()->isShown());
    EXPECT_FALSE(controller.canRetry());
}

// Stop keeps what arrived as stopped, without an alert, in the rows it streamed into: an open
// tool card stays open. No tool of the reply runs on, in its last message or an earlier one.
TEST_F(ChatViewControllerTest, StopKeepsWhatArrivedAsStoppedInTheRowsItStreamedInto)
{
    const QByteArray secondTool =
        ScriptedReply::event("tool_use_start", R"({"tool_id":"t2","tool":"log_meal","input":{}})");
    chat.route("POST", "/api/v1/chat/stream",
               unfinished({toolStart, delta("Logged"), complete, secondTool, delta("Half "),
                           delta("a reply")}));
    controller.setInputText(QStringLiteral("Hello"));
    controller.send();
    ASSERT_NE(waitForStreamed(QStringLiteral("Half a reply")), nullptr);
    MessageListModel &list = *controller.messages();
    ASSERT_EQ(pieces(list),
              QStringList({"user", "tools", "block", "copy", "tools", "block", "typing"}));
    const QPersistentModelIndex tools = list.index(4);
    const QPersistentModelIndex block = list.index(5);
    auto *cards = list.data(tools, MessageListModel::ToolCallsRole).value<ToolCallListModel *>();
    ASSERT_NE(cards, nullptr);
    cards->setExpanded(0, true);
    QSignalSpy removed(&list, &QAbstractItemModel::rowsRemoved);

    controller.stop();
    controller.stop();
    waitForReply();
    EXPECT_FALSE(controller.chatService().isStreaming());
    EXPECT_EQ(controller.streamingMessage(), nullptr);
    EXPECT_EQ(contents(controller.currentConversation()),
              QStringList({"Hello", "Logged", "Half a reply (stopped)"}));
    EXPECT_EQ(pieces(list),
              QStringList({"user", "tools", "block", "copy", "tools", "block", "caption", "copy"}));
    // Only the typing dots left.
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed[0][1].toInt(), 6);
    EXPECT_EQ(removed[0][2].toInt(), 6);
    EXPECT_EQ(QList<int>({tools.row(), block.row()}), QList<int>({4, 5}));
    EXPECT_EQ(list.data(tools, MessageListModel::ToolCallsRole).value<ToolCallListModel *>(),
              cards);
    EXPECT_TRUE(cards->data(cards->index(0), ToolCallListModel::IsExpandedRole).toBool());
    for (const Message *message : controller.currentConversation()->messages()) {
        for (const ToolCall &toolCall : message->toolCalls())
            EXPECT_FALSE(toolCall.isExecuting) << toolCall.id.toStdString();
    }
    QTest::qWait(50);
    EXPECT_FALSE(controller.alert()->isShown());
    EXPECT_FALSE(controller.canRetry());
}

// The user's message is never left without an answer: a reply that delivers nothing, or is
// stopped before its first byte, leaves an empty one that says how it ended.
TEST_F(ChatViewControllerTest, AReplyThatDeliversNothingStillEndsWithAMessageSayingHow)
{
    chat.route("POST", "/api/v1/chat/stream", ScriptedReply::eventStream({}));
    sendAndWait(QStringLiteral("Hello"));

    chat.hold();
    controller.setInputText(QStringLiteral("Hi"));
    controller.send();
    ASSERT_TRUE(chat.waitForRequests(2));
    controller.stop();
    waitForReply();
    chat.release();
    EXPECT_EQ(contents(controller.currentConversation()),
              QStringList({"Hello", " (incomplete)", "Hi", " (stopped)"}));
    EXPECT_EQ(pieces(*controller.messages()), QStringList({"user", "caption", "user", "caption"}));
    QTest::qWait(50);
    EXPECT_FALSE(controller.alert()->isShown());
    EXPECT_FALSE(controller.canRetry());
}

// A failed send offers to be sent again: the same text goes out, the user's message is not added
// twice, and whatever the failed reply left is replaced by the new one.
TEST_F(ChatViewControllerTest, RetrySendsTheFailedMessageAgainAndTheNewReplyReplacesTheFailedOne)
{
    chat.route("POST", "/api/v1/chat/stream",
               unfinished({toolStart, delta("Half a sen")}, &ScriptedReply::dropAfterChunks));
    sendAndWait(QStringLiteral("Log my breakfast"));
    EXPECT_EQ(contents(controller.currentConversation()),
              QStringList({"Log my breakfast", "Half a sen (failed)"}));
    EXPECT_FALSE(lastMessage().toolCalls().first().isExecuting);
    EXPECT_TRUE(controller.alert()->isShown());
    EXPECT_TRUE(controller.canRetry());
    EXPECT_TRUE(controller.messages()->isRetryOffered());

    controller.alert()->setShown(false);
    chat.route("POST", "/api/v1/chat/stream", ScriptedReply::json("{}", 500));
    controller.retry();
    EXPECT_FALSE(controller.messages()->isRetryOffered());
    waitForReply();
    EXPECT_EQ(contents(controller.currentConversation()), QStringList({"Log my breakfast"}));
    EXPECT_EQ(controller.alert()->message(), QStringLiteral("API error (status: 500)"));
    EXPECT_TRUE(controller.canRetry());

    chat.route("POST", "/api/v1/chat/stream",
               ScriptedReply::eventStream({delta("Logged"), complete}));
    controller.retry();
    waitForReply();
    EXPECT_EQ(contents(controller.currentConversation()),
              QStringList({"Log my breakfast", "Logged"}));
    EXPECT_FALSE(controller.canRetry());
    EXPECT_FALSE(controller.messages()->isRetryOffered());
    ASSERT_EQ(chat.requests().size(), 3);
    for (const RecordedRequest &request : chat.requests())
        EXPECT_TRUE(request.body.contains(R"("content":"Log my breakfast")"))
            << request.body.toStdString();

    // A new conversation has nothing to retry.
    chat.route("POST", "/api/v1/chat/stream", ScriptedReply::json("{}", 500));
    sendAndWait(QStringLiteral("Again"));
    ASSERT_TRUE(controller.canRetry());
    controller.newConversation();
    EXPECT_FALSE(controller.canRetry());
    EXPECT_FALSE(controller.messages()->isRetryOffered());
    controller.retry();
    EXPECT_EQ(controller.currentConversation(), nullptr);
    QTest::qWait(50);
    EXPECT_EQ(chat.requests().size(), 4);
}

TEST_F(ChatViewControllerTest, ANewConversationStopsTheReplySilentlyAndBlankTextIsNotSent)
{
    // The table row being typed waits for its newline.
    chat.route("POST", "/api/v1/chat/stream", unfinished({delta("Working\\n\\n| a |")}));
    controller.setInputText(QStringLiteral("Plan my week"));
    controller.send();
    ASSERT_NE(waitForStreamed(QStringLiteral("Working\n\n| a |")), nullptr);
    EXPECT_EQ(pieces(*controller.messages()), QStringList({"user", "block", "typing"}));
    EXPECT_EQ(
        controller.messages()->data(controller.messages()->index(1), MessageListModel::TextRole),
        InlineMarkdown::inlineText("Working", false));

    controller.newConversation();
    QTest::qWait(50);
    EXPECT_EQ(controller.currentConversation(), nullptr);
    EXPECT_EQ(controller.streamingMessage(), nullptr);
    EXPECT_FALSE(controller.isStreaming());
    EXPECT_FALSE(controller.alert()->isShown());
    EXPECT_FALSE(controller.hasMessages());

    controller.setInputText(QStringLiteral(" \n\t "));
    controller.send();
    EXPECT_EQ(controller.inputText(), QStringLiteral(" \n\t "));
    EXPECT_EQ(controller.currentConversation(), nullptr);

    chat.route("POST", "/api/v1/chat/stream", ScriptedReply::eventStream({delta("Hi"), complete}));
    controller.quickAction(QStringLiteral("What did I eat today?"));
    waitForReply();
    EXPECT_EQ(contents(controller.currentConversation()),
              QStringList({"What did I eat today?", "Hi"}));
}

// A send while a reply streams stops that reply where it is; nothing of it reaches the next one.
TEST_F(ChatViewControllerTest, ASecondSendStopsTheFirstReplyAndLeavesTheSecondAlone)
{
    chat.route("POST", "/api/v1/chat/stream", [](const RecordedRequest &request) {
        return request.body.contains("First") ? unfinished({delta("Working")})
                                              : ScriptedReply::eventStream({delta("Hi"), complete});
    });
    controller.quickAction(QStringLiteral("First"));
    ASSERT_NE(waitForStreamed(QStringLiteral("Working")), nullptr);
    controller.quickAction(QStringLiteral("Second"));
    waitForReply();
    QTest::qWait(50);
    EXPECT_EQ(contents(controller.currentConversation()),
              QStringList({"First", "Working (stopped)", "Second", "Hi"}));
    EXPECT_FALSE(controller.alert()->isShown());
}

// A server cannot grow a reply without bound: past 8 MB of text or 1,000 tools it fails, and what
// fitted stays, never half a character.
TEST_F(ChatViewControllerTest, AReplyPastItsBoundsFailsAndKeepsWhatArrived)
{
    // Paragraphs of 1,024 code units, the last cut short by one so that the limit falls inside
    // the smiley after it.
    const QByteArray paragraph = QByteArray(1022, 'a') + "\\n\\n";
    const QByteArray head =
        paragraph.repeated(ChatService::maxReplyLength / 1024 - 1) + QByteArray(1023, 'a');
    QByteArray tools;
    for (int i = 0; i <= ChatService::maxToolCalls; ++i) {
        tools += ScriptedReply::event("tool_use_start", R"({"tool_id":"t)" + QByteArray::number(i) +
                                                            R"(","tool":"clock"})");
    }
    chat.route("POST", "/api/v1/chat/stream",
               ScriptedReply::eventStream({delta(head + "\\ud83d\\ude00 and more")}));
    sendAndWait(QStringLiteral("Talk"));
    EXPECT_EQ(controller.alert()->message(), QStringLiteral("The reply is too long to show"));
    EXPECT_EQ(lastMessage().content().size(), ChatService::maxReplyLength - 1);
    EXPECT_EQ(lastMessage().ending(), Message::Ending::failed);

    chat.route("POST", "/api/v1/chat/stream", ScriptedReply::eventStream({tools, delta("late")}));
    sendAndWait(QStringLiteral("Work"));
    EXPECT_EQ(controller.alert()->message(), QStringLiteral("The reply started too many tools"));
    EXPECT_EQ(lastMessage().toolCalls().size(), ChatService::maxToolCalls);
    EXPECT_EQ(lastMessage().ending(), Message::Ending::failed);
}

// The screen takes in what arrived at most once per frame, and a frame's worth at a time: a burst
// of a thousand deltas in one read is not a thousand layouts, one huge event is laid out in steps,
// and so are many turns at once and what a stopped reply had left to show. Screen readers hear the
// head of a huge reply.
TEST_F(ChatViewControllerTest, DeltasReachTheScreenOncePerFrameAndHugeTextInFrameSizedSteps)
{
    // How much each change of the message adds; all of it once its reply has ended.
    const auto stepsOf = [](Message *message) {
        auto steps = std::make_shared<std::vector<qsizetype>>();
        QObject::connect(message, &Message::contentChanged, [message, steps] {
            steps->push_back(message->content().size() -
                             std::accumulate(steps->begin(), steps->end(), qsizetype(0)));
        });
        return steps;
    };
    const auto fitFrames = [](const std::vector<qsizetype> &steps) {
        return std::all_of(steps.begin(), steps.end(),
                           [](qsizetype step) { return step <= ChatReply::textPerFrame; });
    };
    QByteArray burst = "event: content_delta\n";
    for (int i = 0; i < 1000; ++i)
        burst += "data: {\"delta\":\"x\"}\n";
    chat.route("POST", "/api/v1/chat/stream", unfinished({burst}));
    controller.quickAction(QStringLiteral("Burst"));
    ASSERT_NE(controller.streamingMessage(), nullptr);
    QSignalSpy changes(controller.streamingMessage(), &Message::contentChanged);
    ASSERT_NE(waitForStreamed(QString(1000, u'x')), nullptr);
    // Reads that a busy machine spreads over a few frames may each add one.
    EXPECT_LT(changes.count(), 10);

    const QByteArray huge =
        QByteArray(1 << 20, 'w').replace(QByteArray(1024, 'w'), QByteArray(1022, 'w') + "\\n\\n");
    chat.route("POST", "/api/v1/chat/stream", ScriptedReply::eventStream({delta(huge), complete}));
    QSignalSpy finished(&controller, &ChatViewController::replyFinished);
    controller.quickAction(QStringLiteral("Huge"));
    ASSERT_NE(controller.streamingMessage(), nullptr);
    auto steps = stepsOf(controller.streamingMessage());
    waitForReply();
    EXPECT_GE(steps->size(), std::size_t(32));
    EXPECT_TRUE(fitFrames(*steps));
    EXPECT_EQ(lastMessage().content().size(), 1 << 20);
    // The burst, stopped by this send, was announced first.
    ASSERT_EQ(finished.count(), 2);
    EXPECT_LE(finished[1][0].toString().size(), ChatViewController::announcedLength);
    EXPECT_TRUE(finished[1][0].toString().startsWith(QStringLiteral("www")));

    // Stopped while it catches up, the reply goes on in steps.
    chat.route("POST", "/api/v1/chat/stream", unfinished({delta(huge)}));
    controller.quickAction(QStringLiteral("Huge, stopped"));
    Message *stopped = controller.streamingMessage();
    ASSERT_NE(stopped, nullptr);
    steps = stepsOf(stopped);
    ASSERT_TRUE(QTest::qWaitFor([&steps] { return !steps->empty(); }));
    ASSERT_LT(stopped->content().size(), 1 << 20);
    controller.stop();
    waitForReply();
    EXPECT_TRUE(fitFrames(*steps));
    EXPECT_EQ(lastMessage().content().size(), 1 << 20);
    EXPECT_EQ(lastMessage().ending(), Message::Ending::stopped);

    // A finished turn takes its length from the frame: twenty turns of a frame's worth each, in
    // one read, come on screen a frame apart.
    chat.route("POST", "/api/v1/chat/stream",
               ScriptedReply::eventStream(
                   {delta(QByteArray(ChatReply::textPerFrame, 't')) + complete.repeated(20)}));
    controller.quickAction(QStringLiteral("Turns"));
    std::vector<int> turnsPerFrame;
    bool inFrame = false;
    QObject::connect(controller.currentConversation(), &Conversation::messagesChanged,
                     [this, &turnsPerFrame, &inFrame] {
                         if (!std::exchange(inFrame, true)) {
                             turnsPerFrame.push_back(0);
                             QTimer::singleShot(0, &controller, [&inFrame] { inFrame = false; });
                         }
                         ++turnsPerFrame.back();
                     });
    waitForReply();
    EXPECT_EQ(std::accumulate(turnsPerFrame.begin(), turnsPerFrame.end(), 0), 20);
    EXPECT_EQ(*std::max_element(turnsPerFrame.begin(), turnsPerFrame.end()), 1);
}

TEST_F(ChatViewControllerTest, StreamedTextScrollsAtOnceThenAtMostOncePerIntervalWhileFollowing)
{
    controller.setInputText(QStringLiteral("Hello"));
    chat.route("POST", "/api/v1/chat/stream", unfinished({delta("a")}));
    controller.send();
    Message *reply = waitForStreamed(QStringLiteral("a"));
    ASSERT_NE(reply, nullptr);
    ASSERT_FALSE(scheduled.empty());
    // The new message scrolls with animation, the first streamed text at once without.
    ASSERT_EQ(scrolls.count(), 2);
    EXPECT_TRUE(scrolls[0][0].toBool());
    EXPECT_FALSE(scrolls[1][0].toBool());

    const auto grow = [reply](int times) {
        for (int i = 0; i < times; ++i)
            reply->setContent(reply->content() + QStringLiteral("x"));
    };
    // A burst within the interval folds into one more scroll when it is over, then it goes idle.
    grow(3);
    EXPECT_EQ(scrolls.count(), 2);
    advanceClock();
    EXPECT_EQ(scrolls.count(), 3);
    advanceClock();
    EXPECT_EQ(scrolls.count(), 3);
    EXPECT_TRUE(scheduled.empty());

    // A reader who scrolled up is left alone until back at the end.
    controller.setFollowing(false);
    grow(2);
    advanceClock();
    EXPECT_EQ(scrolls.count(), 3);
    controller.setFollowing(true);
    grow(1);
    EXPECT_EQ(scrolls.count(), 4);
}

TEST_F(ChatViewControllerTest, SetupRunsOncePerScreenAndOnlyForASignedInUser)
{
    controller.appear();
    EXPECT_FALSE(controller.isConfigured());
    EXPECT_EQ(controller.chatService().authService(), nullptr);

    signIn();
    controller.appear();
    controller.appear();
    EXPECT_TRUE(QTest::qWaitFor([this] { return controller.isConfigured(); }));
    EXPECT_EQ(controller.chatService().authService(), &auth);
    // The profile is fetched once, by the one setup that ran.
    EXPECT_TRUE(identityProvider.waitForRequests(2));
    QTest::qWait(50);
    qsizetype profileFetches = 0;
    for (const RecordedRequest &request : identityProvider.requests())
        profileFetches += request.path() == "/api/user/info" ? 1 : 0;
    EXPECT_EQ(profileFetches, 1);
}

TEST_F(ChatViewControllerTest, SettingsAndBackKeepTheConversationTheReplyAndTheTypedText)
{
    chat.route("POST", "/api/v1/chat/stream", unfinished({delta("Still")}));
    controller.setInputText(QStringLiteral("Hello"));
    controller.send();
    controller.setInputText(QStringLiteral("half typed"));

    controller.setCurrentScreen(ChatViewScreen::settings);
    ASSERT_NE(waitForStreamed(QStringLiteral("Still")), nullptr);
    controller.setCurrentScreen(ChatViewScreen::chat);

    EXPECT_EQ(contents(controller.currentConversation()), QStringList({"Hello"}));
    EXPECT_TRUE(controller.isStreaming());
    EXPECT_EQ(controller.inputText(), QStringLiteral("half typed"));
}

TEST_F(ChatViewControllerTest, CancellingTheBrowserSignInShowsItsAlert)
{
    LoginViewController login(auth);
    login.signIn();
    ASSERT_TRUE(QTest::qWaitFor([this] { return auth.isAwaitingCallback(); }));
    login.cancelSignIn();
    EXPECT_TRUE(QTest::qWaitFor([&login] { return login.alert()->isShown(); }));
    EXPECT_EQ(login.alert()->message(), QStringLiteral("Sign in was cancelled"));
    EXPECT_FALSE(auth.isLoading());
}

// A decoder's message quotes the token it stopped in: an unterminated string of megabytes.
// Megabytes of letters, or one letter under a hundred thousand marks, which counts as a single
// character.
TEST_F(ChatViewControllerTest, AFailureQuotingTheServerIsShownInPart)
{
    const QByteArray combiningAcute = "\xcc\x81";
    for (const QByteArray &quoted :
         {QByteArray(1 << 20, 'x'), "a" + combiningAcute.repeated(100'000)}) {
        identityProvider.route("POST", "/user_management/authenticate",
                               ScriptedReply::json(R"({"access_token":")" + quoted));
        LoginViewController login(auth);
        login.signIn();
        ASSERT_TRUE(QTest::qWaitFor([this] { return auth.isAwaitingCallback(); }));
        auth.resumeAuthContinuation(callbackURL(QStringLiteral("code-1")));
        ASSERT_TRUE(QTest::qWaitFor([&login] { return login.alert()->isShown(); }));
        EXPECT_LE(login.alert()->message().size(), 2'401);
        EXPECT_TRUE(login.alert()->message().endsWith(QChar(0x2026)));
    }
}

} // namespace
