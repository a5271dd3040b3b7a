#include "chat/ChatService.h"
#include "identity/AuthService.h"
#include "identity/KeychainService.h"
#include "mcp/MCPService.h"
#include "support/TaskAwaiting.h"
#include "voice/VoiceChatService.h"

#include <QEventLoop>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <httplib.h>
#include <memory>

namespace {

// The real client services against the built vessa-localserver, started on a free port over a
// fresh data folder, as the default build meets it.
class EndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        server.start(QStringLiteral(VESSA_LOCALSERVER_BINARY),
                     {"--port", "0", "--data", dataDirectory.path(), "--pace-ms", "2"});
        ASSERT_TRUE(server.waitForStarted(10000));
        // The first line names the address.
        while (!server.canReadLine())
            ASSERT_TRUE(server.waitForReadyRead(10000));
        const auto line = QString::fromUtf8(server.readLine());
        const auto match = QRegularExpression("Listening on (http://[0-9.:]+)").match(line);
        ASSERT_TRUE(match.hasMatch()) << line.toStdString();
        base = match.captured(1);
    }

    void TearDown() override
    {
        server.terminate();
        EXPECT_TRUE(server.waitForFinished(10000) && server.exitStatus() == QProcess::NormalExit &&
                    server.exitCode() == 0);
    }

    // Plays the browser: submits the sign-in page's form as filled in, and hands the address it
    // is sent back to over to the app.
    static void playBrowser(const QUrl &authorizeURL, AuthService &auth)
    {
        httplib::Client browser("127.0.0.1", authorizeURL.port());
        const auto page = browser.Get(
            authorizeURL.toString(QUrl::RemoveScheme | QUrl::RemoveAuthority).toStdString());
        ASSERT_TRUE(page && page->status == 200);
        httplib::Params form;
        // The values the app sends need no HTML escapes.
        auto inputs = QRegularExpression("<input [^>]*name=\"([^\"]+)\"[^>]*value=\"([^\"]*)\"")
                          .globalMatch(QString::fromStdString(page->body));
        while (inputs.hasNext()) {
            const auto input = inputs.next();
            form.emplace(input.captured(1).toStdString(), input.captured(2).toStdString());
        }
        const auto redirect = browser.Post(authorizeURL.path().toStdString(), form);
        ASSERT_TRUE(redirect && redirect->status == 302);
        EXPECT_TRUE(auth.resumeAuthContinuation(
            QUrl(QString::fromStdString(redirect->get_header_value("Location")))));
    }

    QTemporaryDir dataDirectory;
    QTemporaryDir storeDirectory;
    QProcess server;
    QString base;
};

TEST_F(EndToEndTest, SignInChatWithToolsAndSeeTheMealOverMcp)
{
    // 1. Sign in through the page, as a user would.
    KeychainService store(storeDirectory.path() + "/secure");
    AuthService auth(store, QUrl(base), QUrl(base), "client_01LOCALVESSADEVELOPMENT000", QString(),
                     [&auth](const QUrl &url) {
                         QTimer::singleShot(0, [url, &auth] { playBrowser(url, auth); });
                         return true;
                     });
    awaitTask(auth.restored());
    awaitTask(auth.signIn());
    ASSERT_TRUE(auth.isAuthenticated() && auth.currentUser());
    EXPECT_EQ(auth.currentUser()->email, "alex@example.com");
    const auto userId = auth.currentUser()->id;

    // 2. The profile.
    awaitTask(auth.fetchUserInfo());
    ASSERT_TRUE(auth.userPreferences());
    EXPECT_TRUE(auth.userPreferences()->skillsContextString().contains("log_meal"));

    // 3. A quick action: a tool round, then the text, in two turns.
    ChatService chat(base + "/api/v1/chat/stream", "localdev");
    chat.setAuthService(&auth);
    std::vector<ToolCall> toolCalls;
    std::vector<bool> toolErrors;
    QString text;
    int turns = 0;
    std::string failure;
    QEventLoop loop;
    chat.sendMessage(
        "Log my breakfast", std::nullopt, [&](const QString &delta) { text += delta; },
        [&](const ToolCall &toolCall) { toolCalls.push_back(toolCall); },
        [&](const QString &, const QString &, bool isError) { toolErrors.push_back(isError); },
        [&](std::unique_ptr<Message>) { ++turns; }, [&] { loop.exit(0); },
        [&](const std::exception &error) {
            failure = error.what();
            loop.exit(1);
        });
    QTimer::singleShot(20000, &loop, [&] { loop.exit(2); });

    EXPECT_EQ(loop.exec(), 0) << failure;
    ASSERT_EQ(toolCalls.size(), 1U);
    EXPECT_EQ(toolCalls[0].name, "log_meal");
    EXPECT_EQ(toolErrors, std::vector<bool>{false});
    EXPECT_TRUE(text.contains("breakfast")) << text.toStdString();
    EXPECT_EQ(turns, 2);
    EXPECT_FALSE(chat.isStreaming());

    // 4. The meal the chat logged, as the MCP client lists it.
    MCPService mcp{QUrl(base)};
    mcp.configure(userId);
    EXPECT_FALSE(awaitTask(mcp.listTools()).empty());
    const auto meals = awaitTask(mcp.callTool("list_meals", AnyCodable::Object{}));
    EXPECT_FALSE(meals.isError);
    const auto &logged = std::get<std::string>(toolCalls[0].input.at("description").value());
    EXPECT_NE(meals.text().find(logged), std::string::npos) << meals.text();
}

} // namespace

// A round trip a person would hear: the microphone (a tone) is on from the start, the talk
// button is let go, and the local agent plays the speech back.
TEST_F(EndToEndTest, TheVoiceAgentPlaysTheSpeechBackAfterTheButtonIsLetGo)
{
    VoiceChatService voice(base, {QStringLiteral("audiotestsrc is-live=true wave=sine volume=0.5"),
                                  QStringLiteral("fakesink sync=true"),
                                  {}});
    awaitTask(voice.connect());
    ASSERT_TRUE(QTest::qWaitFor([&] { return voice.isConnected(); }, 10'000));
    EXPECT_TRUE(voice.isListening());
    QTest::qWait(1000);
    EXPECT_FALSE(voice.isSpeaking());
    voice.stopListening();
    EXPECT_TRUE(QTest::qWaitFor([&] { return voice.isSpeaking(); }, 5'000));
    // Speaking starts with the first audible window, which may still be quiet: the tone follows.
    EXPECT_TRUE(QTest::qWaitFor([&] { return voice.outputAudioLevel() > 0.1f; }, 2'000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !voice.isSpeaking(); }, 5'000));
    voice.disconnect();
}
