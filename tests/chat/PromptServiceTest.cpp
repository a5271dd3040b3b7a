#include "chat/PromptService.h"

#include "model/Timestamp.h"
#include "support/ScriptedHttpServer.h"
#include "support/TaskAwaiting.h"

#include <QHostAddress>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>

namespace {

constexpr auto promptsPath = "/api/v1/prompts";

class PromptServiceTest : public testing::Test
{
protected:
    QString fetch(PromptType type = PromptType::text, const QString &user = QStringLiteral("u1"),
                  const QString &apiBase = {})
    {
        return awaitTask(PromptService::fetchPrompt(
            type, user, settings, apiBase.isEmpty() ? server.url("").toString() : apiBase,
            QStringLiteral("tok12345")));
    }

    std::optional<QString> cached(PromptType type, const QString &user)
    {
        return PromptService::cachedPrompt(type, user, settings);
    }

    void store(const QString &prompt, double expiry)
    {
        settings.setValue(QStringLiteral("cached_prompts_text_u1"), prompt);
        settings.setValue(QStringLiteral("cached_prompts_text_u1_expiry"), expiry);
    }

    const QString textFallback = PromptService::fallbackPrompt(PromptType::text);
    QTemporaryDir directory;
    QSettings settings{directory.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
    ScriptedHttpServer server;
};

} // namespace

TEST_F(PromptServiceTest, FetchesAndServesFromTheCacheForAnHour)
{
    server.route("GET", promptsPath, ScriptedReply::json(R"({"prompt":"Sé brief","v":2})"));
    const double before = Timestamp::now();
    testing::internal::CaptureStdout();
    EXPECT_EQ(fetch(PromptType::voice, QStringLiteral("user 1&x")), QStringLiteral("Sé brief"));
    EXPECT_EQ(fetch(PromptType::voice, QStringLiteral("user 1&x")), QStringLiteral("Sé brief"));
    // Who the user is stays out of the log.
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(log.find("user 1"), std::string::npos) << log;
    EXPECT_EQ(log.find("user%201"), std::string::npos) << log;

    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests().first().method + ' ' + server.requests().first().target,
              "GET /api/v1/prompts?type=voice&workos_user_id=user%201%26x");
    EXPECT_EQ(server.requests().first().header("authorization"), "Bearer tok12345");
    const QString key = QStringLiteral("cached_prompts_voice_user 1&x");
    EXPECT_EQ(settings.value(key).toString(), QStringLiteral("Sé brief"));
    const double expiry = settings.value(key + QStringLiteral("_expiry")).toDouble();
    EXPECT_GE(expiry, before + 3600.0);
    EXPECT_LE(expiry, Timestamp::now() + 3600.0);
}

TEST_F(PromptServiceTest, OnlyAnEntryOfThatKindAndUserBeforeItsExpiryIsServed)
{
    store(QStringLiteral("mine"), Timestamp::now() + 600.0);
    EXPECT_EQ(cached(PromptType::text, QStringLiteral("u1")), QStringLiteral("mine"));
    EXPECT_FALSE(cached(PromptType::text, QStringLiteral("u2")));
    EXPECT_FALSE(cached(PromptType::voice, QStringLiteral("u1")));
    settings.setValue(QStringLiteral("cached_prompts_text_u1_expiry"), QStringLiteral("later"));
    EXPECT_FALSE(cached(PromptType::text, QStringLiteral("u1")));

    // Expired, even by less than a second: fetched again, and not served when that fails.
    server.route("GET", promptsPath, ScriptedReply::text("down", 503));
    store(QStringLiteral("stale"), std::floor(Timestamp::now()));
    EXPECT_EQ(fetch(), textFallback);
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(PromptServiceTest, EmptyPromptIsReturnedAndCached)
{
    server.route("GET", promptsPath, ScriptedReply::json(R"({"prompt":""})"));
    EXPECT_EQ(fetch(), QString());
    settings.sync();
    QSettings reopened(settings.fileName(), QSettings::IniFormat);
    EXPECT_EQ(PromptService::cachedPrompt(PromptType::text, QStringLiteral("u1"), reopened),
              QString());
}

TEST_F(PromptServiceTest, ClearCacheRemovesOnlyCacheEntries)
{
    store(QStringLiteral("p"), Timestamp::now() + 600.0);
    settings.setValue(QStringLiteral("other_cached_prompts"), 1);
    settings.setValue(QStringLiteral("window/width"), 400);
    PromptService::clearCache(settings);
    EXPECT_EQ(settings.allKeys(), (QStringList{QStringLiteral("other_cached_prompts"),
                                               QStringLiteral("window/width")}));
}

TEST_F(PromptServiceTest, UnusableAnswerOrBackendFallsBackAndCachesNothing)
{
    for (const ScriptedReply &reply :
         {ScriptedReply::text("no such user", 404), ScriptedReply::text("\xff\xfe", 500),
          ScriptedReply::json(R"({"prompt":"x"})", 201), ScriptedReply::json(R"({"prompt":42})"),
          ScriptedReply::json(R"({"prompt":null})"), ScriptedReply::json(R"(["prompt"])"),
          ScriptedReply::json(R"({"prompt":)"), ScriptedReply::json("\xff")}) {
        server.route("GET", promptsPath, reply);
        EXPECT_EQ(fetch(), textFallback) << reply.chunks.first().toStdString();
    }
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString refused = QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort());
    closed.close();
    for (const QString &apiBase : {refused, QStringLiteral("http://exa mple")})
        EXPECT_EQ(fetch(PromptType::text, QStringLiteral("u1"), apiBase), textFallback);
    EXPECT_TRUE(settings.allKeys().isEmpty());
}

// nlohmann refuses such a number as out of range, which is not a syntax error; a throw fails the
// test.
TEST_F(PromptServiceTest, NumberTooLargeForADoubleFallsBackAndCachesNothing)
{
    server.route("GET", promptsPath, ScriptedReply::json(R"({"prompt":"p","x":1e400})"));
    EXPECT_EQ(fetch(PromptType::voice), PromptService::fallbackPrompt(PromptType::voice));
    EXPECT_TRUE(settings.allKeys().isEmpty());
}
