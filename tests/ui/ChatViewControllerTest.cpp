#include "ui/ChatViewController.h"

#include "app/SignInFixture.h"
#include "chat/ChatService.h"
#include "markdown/InlineMarkdown.h"
#include "model/Conversation.h"
#include "model/Message.h"
#include "support/TaskAwaiting.h"
#include "ui/LoginViewController.h"

#include <QSignalSpy>
#include <functional>
#include <ostream>
#include <vector>

// Failures show lists of texts as text.
void PrintTo(const QStringList &texts, std::ostream *out)
{
    *out << '[' << texts.join(QStringLiteral("|")).toStdString() << ']';
}

namespace {

QByteArray event(const QByteArray &type, const QByteArray &json)
{
    return "event: " + type + "\ndata: " + json + "\n\n";
}

QByteArray delta(const QByteArray &text)
{
    return event("content_delta", R"({"delta":")" + text + "\"}");
}

const QByteArray toolStart =
    event("tool_use_start", R"({"tool_id":"t1","tool":"log_meal","input":{"food":"eggs"}})");
const QByteArray complete = event("message_complete", "{}");

QStringList contents(const Conversation *conversation)
{
    QStringList texts;
    for (const Message *message : conversation->sortedMessages())
        texts.append(message->content());
    return texts;
}

// What the list shows, piece by piece.
QStringList pieces(const MessageListModel &model)
{
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row)
        names.append(model.data(model.index(row), MessageListModel::PieceRole).toString());
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
        EXPECT_TRUE(QTest::qWaitFor([this] { return !controller.chatService().isStreaming(); }));
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

TEST_F(ChatViewControllerTest, AFailedReplyKeepsWhatHadArrivedThenShowsTheError)
{
    ScriptedReply cut = ScriptedReply::eventStream({toolStart, delta("Half a sen")});
    cut.dropAfterChunks = true;
    chat.route("POST", "/api/v1/chat/stream", cut);

    sendAndWait(QStringLiteral("Log my breakfast"));

    ASSERT_EQ(contents(controller.currentConversation()),
              QStringList({"Log my breakfast", "Half a sen"}));
    const Message *partial = controller.currentConversation()->sortedMessages().last();
    ASSERT_EQ(partial->toolCalls().size(), 1);
    EXPECT_FALSE(partial->toolCalls().first().isExecuting);
    EXPECT_EQ(pieces(*controller.messages()), QStringList({"user", "tools", "block", "copy"}));
    EXPECT_TRUE(controller.alert()->isShown());
    EXPECT_NE(controller.alert()->message(), QStringLiteral("An error occurred"));

    // Dismissed, the screen sends again; a reply that failed before any text adds nothing.
    controller.alert()->setShown(false);
    chat.route("POST", "/api/v1/chat/stream", ScriptedReply::json("{}", 500));
    sendAndWait(QStringLiteral("Again"));
    EXPECT_EQ(contents(controller.currentConversation()).last(), QStringLiteral("Again"));
    // The reply that failed before any text draws nothing.
    EXPECT_EQ(pieces(*controller.messages()),
              QStringList({"user", "tools", "block", "copy", "user"}));
    EXPECT_EQ(controller.alert()->message(), QStringLiteral("API error (status: 500)"));
}

TEST_F(ChatViewControllerTest, ANewConversationStopsTheReplySilentlyAndBlankTextIsNotSent)
{
    // The table row being typed waits for its newline.
    ScriptedReply running = ScriptedReply::eventStream({delta("Working\\n\\n| a |")});
    running.holdOpen = true;
    chat.route("POST", "/api/v1/chat/stream", running);
    controller.setInputText(QStringLiteral("Plan my week"));
    controller.send();
    ASSERT_TRUE(QTest::qWaitFor([this] {
        return controller.streamingMessage() && !controller.streamingMessage()->content().isEmpty();
    }));
    EXPECT_EQ(pieces(*controller.messages()), QStringList({"user", "block", "typing"}));
    EXPECT_EQ(
        controller.messages()->data(controller.messages()->index(1), MessageListModel::TextRole),
        InlineMarkdown::inlineText("Working", false));

    controller.newConversation();
    QTest::qWait(50);
    EXPECT_EQ(controller.currentConversation(), nullptr);
    EXPECT_EQ(controller.streamingMessage(), nullptr);
    EXPECT_FALSE(controller.alert()->isShown());
    EXPECT_FALSE(controller.hasMessages());

    controller.setInputText(QStringLiteral(" \n\t "));
    controller.send();
    EXPECT_EQ(controller.inputText(), QStringLiteral(" \n\t "));
    EXPECT_EQ(controller.currentConversation(), nullptr);

    chat.route("POST", "/api/v1/chat/stream", ScriptedReply::eventStream({delta("Hi"), complete}));
    controller.quickAction(QStringLiteral("What did I eat today?"));
    EXPECT_TRUE(QTest::qWaitFor([this] { return !controller.chatService().isStreaming(); }));
    EXPECT_EQ(contents(controller.currentConversation()),
              QStringList({"What did I eat today?", "Hi"}));
}

TEST_F(ChatViewControllerTest, StreamedTextScrollsAtOnceThenAtMostOncePerIntervalWhileFollowing)
{
    controller.setInputText(QStringLiteral("Hello"));
    ScriptedReply running = ScriptedReply::eventStream({delta("a")});
    running.holdOpen = true;
    chat.route("POST", "/api/v1/chat/stream", running);
    controller.send();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !scheduled.empty(); }));
    // The new message scrolls with animation, the first streamed text at once without.
    ASSERT_EQ(scrolls.count(), 2);
    EXPECT_TRUE(scrolls[0][0].toBool());
    EXPECT_FALSE(scrolls[1][0].toBool());

    const auto grow = [this](int times) {
        for (int i = 0; i < times; ++i)
            controller.streamingMessage()->setContent(controller.streamingMessage()->content() +
                                                      QStringLiteral("x"));
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
    ScriptedReply running = ScriptedReply::eventStream({delta("Still")});
    running.holdOpen = true;
    chat.route("POST", "/api/v1/chat/stream", running);
    controller.setInputText(QStringLiteral("Hello"));
    controller.send();
    controller.setInputText(QStringLiteral("half typed"));

    controller.setCurrentScreen(ChatViewScreen::settings);
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return controller.streamingMessage()->content() == QStringLiteral("Still"); }));
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
