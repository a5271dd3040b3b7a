#include "chat/ChatService.h"
#include "chat/PromptService.h"
#include "identity/AuthService.h"
#include "identity/KeychainService.h"
#include "mcp/MCPService.h"
#include "support/TaskAwaiting.h"

#include <QEventLoop>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
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
        ASSERT_TRUE(dataDirectory.isValid() && storeDirectory.isValid());
        server.setProgram(QStringLiteral(VESSA_LOCALSERVER_BINARY));
        server.setArguments({QStringLiteral("--port"), QStringLiteral("0"),
                             QStringLiteral("--data"), dataDirectory.path(),
                             QStringLiteral("--pace-ms"), QStringLiteral("2")});
        server.start();
        ASSERT_TRUE(server.waitForStarted(10000));
        // The first line names the address.
        while (!server.canReadLine())
            ASSERT_TRUE(server.waitForReadyRead(10000));
        const auto line = QString::fromUtf8(server.readLine());
        const auto match =
            QRegularExpression(QStringLiteral("Listening on (http://[0-9.:]+)")).match(line);
        ASSERT_TRUE(match.hasMatch()) << line.toStdString();
        base = match.captured(1);
    }

    void TearDown() override
    {
        server.terminate();
        EXPECT_TRUE(server.waitForFinished(10000));
        EXPECT_EQ(server.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(server.exitCode(), 0);
    }

    // Plays the browser: loads the sign-in page, submits its form as filled in, and hands the
    // address it is sent back to over to the app.
    void playBrowser(const QUrl &authorizeURL, AuthService &auth)
    {
        httplib::Client browser("127.0.0.1", authorizeURL.port());
        const auto page = browser.Get(
            authorizeURL.toString(QUrl::RemoveScheme | QUrl::RemoveAuthority).toStdString());
        ASSERT_TRUE(page);
        ASSERT_EQ(page->status, 200);
        const auto html = QString::fromStdString(page->body);
        const auto action =
            QRegularExpression(QStringLiteral("<form method=\"post\" action=\"([^\"]+)\""))
                .match(html);
        ASSERT_TRUE(action.hasMatch());
        httplib::Params form;
        auto inputs = QRegularExpression(
                          QStringLiteral("<input [^>]*name=\"([^\"]+)\"[^>]*value=\"([^\"]*)\""))
                          .globalMatch(html);
        while (inputs.hasNext()) {
            const auto input = inputs.next();
            auto value = input.captured(2);
            value.replace(QStringLiteral("&quot;"), QStringLiteral("\""))
                .replace(QStringLiteral("&#39;"), QStringLiteral("'"))
                .replace(QStringLiteral("&lt;"), QStringLiteral("<"))
                .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
                .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
            form.emplace(input.captured(1).toStdString(), value.toStdString());
        }
        const auto redirect = browser.Post(action.captured(1).toStdString(), form);
        ASSERT_TRUE(redirect);
        ASSERT_EQ(redirect->status, 302);
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
    KeychainService store(storeDirectory.path() + QStringLiteral("/secure"));
    AuthService *authPointer = nullptr;
    AuthService auth(
        store, QUrl(base), QUrl(base), QStringLiteral("client_01LOCALVESSADEVELOPMENT000"),
        QString(), [this, &authPointer](const QUrl &url) {
            QTimer::singleShot(0, [this, url, &authPointer] { playBrowser(url, *authPointer); });
            return true;
        });
    authPointer = &auth;
    awaitTask(auth.restored());
    awaitTask(auth.signIn());
    ASSERT_TRUE(auth.isAuthenticated());
    ASSERT_TRUE(auth.currentUser());
    EXPECT_EQ(auth.currentUser()->email, QStringLiteral("alex@example.com"));
    EXPECT_EQ(auth.currentUser()->firstName, QStringLiteral("Alex"));
    const auto userId = auth.currentUser()->id;

    // 2. The profile and the prompt.
    awaitTask(auth.fetchUserInfo());
    EXPECT_EQ(auth.aiName(), QStringLiteral("Vessa"));
    ASSERT_TRUE(auth.userPreferences());
    EXPECT_TRUE(auth.userPreferences()->skillsContextString().contains(QStringLiteral("log_meal")));
    ASSERT_TRUE(auth.recentMemories());
    QSettings settings(storeDirectory.path() + QStringLiteral("/settings.ini"),
                       QSettings::IniFormat);
    const auto prompt = awaitTask(PromptService::fetchPrompt(PromptType::text, userId, settings,
                                                             base, QStringLiteral("localdev")));
    EXPECT_TRUE(prompt.contains(QStringLiteral("You are talking with Alex.")))
        << prompt.toStdString();

    // 3. A quick action: tool events, text, turns and the end of the stream.
    ChatService chat(base + QStringLiteral("/api/v1/chat/stream"), QStringLiteral("localdev"));
    chat.setAuthService(&auth);
    std::vector<ToolCall> toolCalls;
    std::vector<std::pair<QString, bool>> toolResults;
    QString text;
    int turns = 0;
    bool completed = false;
    std::optional<std::string> failure;
    QEventLoop loop;
    chat.sendMessage(
        QStringLiteral("Log my breakfast"), std::nullopt,
        [&](const QString &delta) { text += delta; },
        [&](const ToolCall &toolCall) { toolCalls.push_back(toolCall); },
        [&](const QString &, const QString &result, bool isError) {
            toolResults.emplace_back(result, isError);
        },
        [&](std::unique_ptr<Message>) { ++turns; },
        [&] {
            completed = true;
            loop.quit();
        },
        [&](const std::exception &error) {
            failure = error.what();
            loop.quit();
        });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();

    EXPECT_FALSE(failure) << failure.value_or("");
    EXPECT_TRUE(completed);
    ASSERT_EQ(toolCalls.size(), 1U);
    EXPECT_EQ(toolCalls[0].name, QStringLiteral("log_meal"));
    ASSERT_EQ(toolResults.size(), 1U);
    EXPECT_FALSE(toolResults[0].second);
    EXPECT_TRUE(toolResults[0].first.startsWith(QStringLiteral("Logged breakfast:")));
    EXPECT_TRUE(text.contains(QStringLiteral("I logged your **breakfast**"))) << text.toStdString();
    EXPECT_EQ(turns, 2);
    EXPECT_FALSE(chat.isStreaming());

    // 4. The meal, as the MCP client lists it.
    MCPService mcp{QUrl(base)};
    mcp.configure(userId);
    const auto tools = awaitTask(mcp.listTools());
    EXPECT_EQ(tools.size(), 6U);
    const auto meals = awaitTask(mcp.callTool("list_meals", AnyCodable::Object{}));
    EXPECT_FALSE(meals.isError);
    EXPECT_NE(meals.text().find("Oatmeal with blueberries and a coffee"), std::string::npos)
        << meals.text();
    EXPECT_FALSE(mcp.sessionId().isEmpty());
}

} // namespace
