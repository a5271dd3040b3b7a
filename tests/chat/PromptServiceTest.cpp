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
#include <string>

namespace {

constexpr auto promptsPath = "/api/v1/prompts";

const QString textFallback = QStringLiteral(
    "# Vessa Assistant\n\nYou are Vessa, a personal AI assistant that helps users track and "
    "organize their life data.\n\nWhen responding:\n- Be conversational and helpful\n- Keep "
    "responses concise\n- Be warm and supportive\n\nKeep responses under 1600 characters.");
const QString voiceFallback = QStringLiteral(
    "You are Vessa, a personal AI voice assistant.\n\n## VOICE CALL BEHAVIOR:\n- Speak in SHORT, "
    "NATURAL sentences (5-10 words max)\n- Keep talking during tool calls to prevent dead air\n- "
    "Be conversational and warm\n\nKeep tone positive and supportive.");

class PromptServiceTest : public testing::Test
{
protected:
    QString apiBase() const { return QStringLiteral("http://127.0.0.1:%1").arg(server.port()); }

    // The prompt, with everything logged on the way.
    QString fetch(PromptType type, const QString &user, std::string &log)
    {
        testing::internal::CaptureStdout();
        QString prompt = awaitTask(PromptService::fetchPrompt(type, user, settings, apiBase(),
                                                              QStringLiteral("tok12345")));
        log = testing::internal::GetCapturedStdout();
        return prompt;
    }

    void store(const QString &key, const QVariant &prompt, double expiry)
    {
        settings.setValue(key, prompt);
        settings.setValue(key + QStringLiteral("_expiry"), expiry);
    }

    QTemporaryDir directory;
    QSettings settings{directory.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
    ScriptedHttpServer server;
};

struct FailureCase
{
    const char *name;
    ScriptedReply reply;
    std::string logTail;
};

class PromptServiceFailure : public PromptServiceTest,
                             public testing::WithParamInterface<FailureCase>
{};

class PromptServiceExpiry : public PromptServiceTest, public testing::WithParamInterface<double>
{};

} // namespace

TEST_F(PromptServiceTest, FetchesCachesAndLogsEachStep)
{
    server.route("GET", promptsPath, ScriptedReply::json(R"({"prompt":"Sé brief","v":2})"));
    std::string log;
    const double before = Timestamp::now();
    EXPECT_EQ(fetch(PromptType::voice, QStringLiteral("user 1&x"), log),
              QStringLiteral("Sé brief"));

    const std::string url =
        apiBase().toStdString() + "/api/v1/prompts?type=voice&workos_user_id=user%201%26x";
    EXPECT_EQ(log, "[PromptService] fetchPrompt called for type: voice, userId: user 1&x\n"
                   "[PromptService] Cache miss - fetching from API\n"
                   "[PromptService] Fetching from: " +
                       url +
                       "\n"
                       "[PromptService] Response status: 200\n"
                       "[PromptService] Successfully fetched voice prompt (length: 8)\n"
                       "[PromptService] Cached prompt for voice\n");
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests().first().method, "GET");
    EXPECT_EQ(server.requests().first().target,
              "/api/v1/prompts?type=voice&workos_user_id=user%201%26x");
    EXPECT_EQ(server.requests().first().header("authorization"), "Bearer tok12345");

    const QString key = QStringLiteral("cached_prompts_voice_user 1&x");
    EXPECT_EQ(settings.value(key).toString(), QStringLiteral("Sé brief"));
    const double expiry = settings.value(key + QStringLiteral("_expiry")).toDouble();
    EXPECT_GE(expiry, before + 3600.0);
    EXPECT_LE(expiry, Timestamp::now() + 3600.0);
}

TEST_F(PromptServiceTest, ValidCacheEntryServesWithoutRequest)
{
    // Written ten minutes ago.
    store(QStringLiteral("cached_prompts_text_u1"), QStringLiteral("cached"),
          Timestamp::now() + 3000.0);
    std::string log;
    EXPECT_EQ(fetch(PromptType::text, QStringLiteral("u1"), log), QStringLiteral("cached"));
    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_EQ(log, "[PromptService] fetchPrompt called for type: text, userId: u1\n"
                   "[PromptService] Using cached prompt for text\n");
}

TEST_P(PromptServiceExpiry, ExpiredEntryIsNotServedEvenWhenTheFetchFails)
{
    store(QStringLiteral("cached_prompts_text_u1"), QStringLiteral("stale"),
          std::floor(Timestamp::now()) + GetParam());
    server.route("GET", promptsPath, ScriptedReply::text("down", 503));
    std::string log;
    EXPECT_EQ(fetch(PromptType::text, QStringLiteral("u1"), log), textFallback);
    EXPECT_EQ(server.requests().size(), 1);
    EXPECT_EQ(settings.value(QStringLiteral("cached_prompts_text_u1")).toString(),
              QStringLiteral("stale"));
}

INSTANTIATE_TEST_SUITE_P(PromptService, PromptServiceExpiry, testing::Values(0.0, -60.0));

TEST_F(PromptServiceTest, EmptyPromptIsReturnedAndCached)
{
    server.route("GET", promptsPath, ScriptedReply::json(R"({"prompt":""})"));
    std::string log;
    EXPECT_EQ(fetch(PromptType::text, QStringLiteral("u1"), log), QString());
    EXPECT_NE(log.find("Successfully fetched text prompt (length: 0)\n"), std::string::npos);
    settings.sync();
    QSettings reopened(settings.fileName(), QSettings::IniFormat);
    EXPECT_EQ(PromptService::cachedPrompt(PromptType::text, QStringLiteral("u1"), reopened),
              QString());
}

TEST_F(PromptServiceTest, CacheServesOnlyAValidEntryOfThatUserAndKind)
{
    EXPECT_EQ(PromptService::cacheKey(PromptType::voice, QStringLiteral("u1")),
              QStringLiteral("cached_prompts_voice_u1"));
    store(QStringLiteral("cached_prompts_text_u1"), QStringLiteral("mine"),
          Timestamp::now() + 600.0);
    EXPECT_EQ(PromptService::cachedPrompt(PromptType::text, QStringLiteral("u2"), settings),
              std::nullopt);
    EXPECT_EQ(PromptService::cachedPrompt(PromptType::voice, QStringLiteral("u1"), settings),
              std::nullopt);
    EXPECT_EQ(PromptService::cachedPrompt(PromptType::text, QStringLiteral("u1"), settings),
              QStringLiteral("mine"));
    settings.setValue(QStringLiteral("cached_prompts_text_u1_expiry"), QStringLiteral("later"));
    EXPECT_EQ(PromptService::cachedPrompt(PromptType::text, QStringLiteral("u1"), settings),
              std::nullopt);
}

TEST_F(PromptServiceTest, ClearCacheRemovesOnlyCacheEntries)
{
    for (const char *key : {"cached_prompts_text_u1", "cached_prompts_voice_u2"})
        store(QString::fromLatin1(key), QStringLiteral("p"), Timestamp::now() + 600.0);
    settings.setValue(QStringLiteral("other_cached_prompts"), 1);
    settings.setValue(QStringLiteral("window/width"), 400);
    testing::internal::CaptureStdout();
    PromptService::clearCache(settings);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[PromptService] Cache cleared\n");
    EXPECT_EQ(settings.allKeys(), (QStringList{QStringLiteral("other_cached_prompts"),
                                               QStringLiteral("window/width")}));
}

TEST_P(PromptServiceFailure, LogsWhyAndFallsBack)
{
    const auto &param = GetParam();
    server.route("GET", promptsPath, param.reply);
    std::string log;
    EXPECT_EQ(fetch(PromptType::text, QStringLiteral("u1"), log), textFallback);
    EXPECT_TRUE(log.ends_with(param.logTail + "[PromptService] Using fallback prompt for text\n"))
        << log;
    EXPECT_TRUE(settings.allKeys().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    PromptService, PromptServiceFailure,
    testing::Values(FailureCase{"StatusWithBody", ScriptedReply::text("no such user", 404),
                                "[PromptService] Response status: 404\n"
                                "[PromptService] Error body: no such user\n"},
                    FailureCase{"StatusWithBodyThatIsNotUtf8", ScriptedReply::text("\xff\xfe", 500),
                                "[PromptService] Response status: 500\n"},
                    FailureCase{"SuccessStatusOtherThan200",
                                ScriptedReply::json(R"({"prompt":"x"})", 201),
                                "[PromptService] Response status: 201\n"
                                "[PromptService] Error body: {\"prompt\":\"x\"}\n"},
                    FailureCase{"NumberPrompt", ScriptedReply::json(R"({"prompt":42})"),
                                "[PromptService] Failed to parse text prompt response\n"
                                "[PromptService] Raw response: {\"prompt\":42}\n"},
                    FailureCase{"NoObject", ScriptedReply::json(R"(["prompt"])"),
                                "[PromptService] Failed to parse text prompt response\n"
                                "[PromptService] Raw response: [\"prompt\"]\n"},
                    FailureCase{"LongAnswerIsCutAt200Characters",
                                ScriptedReply::json(QByteArray(R"({"prompt":null,"x":")") +
                                                    QString(300, QChar(0xe9)).toUtf8() + "\"}"),
                                "[PromptService] Failed to parse text prompt response\n"
                                "[PromptService] Raw response: {\"prompt\":null,\"x\":\"" +
                                    QString(180, QChar(0xe9)).toStdString() + "\n"}),
    [](const testing::TestParamInfo<FailureCase> &caseInfo) {
        return std::string(caseInfo.param.name);
    });

TEST_F(PromptServiceTest, MalformedJsonLogsTheParserError)
{
    server.route("GET", promptsPath, ScriptedReply::json(R"({"prompt":)"));
    std::string log;
    EXPECT_EQ(fetch(PromptType::voice, QStringLiteral("u1"), log), voiceFallback);
    EXPECT_NE(log.find("[PromptService] Response status: 200\n"
                       "[PromptService] Error fetching voice prompt: [json.exception.parse_error"),
              std::string::npos)
        << log;
}

TEST_F(PromptServiceTest, TransportFailureLogsItsDescription)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    testing::internal::CaptureStdout();
    const auto prompt = awaitTask(PromptService::fetchFromAPI(
        PromptType::text, QStringLiteral("u1"), QStringLiteral("http://127.0.0.1:%1").arg(port),
        QStringLiteral("tok12345")));
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(prompt, std::nullopt);
    const std::string prefix = "[PromptService] Error fetching text prompt: ";
    const auto line = log.find(prefix);
    ASSERT_NE(line, std::string::npos) << log;
    EXPECT_GT(log.size(), line + prefix.size() + 1);
}

TEST_F(PromptServiceTest, UnusableBaseUrlFailsToBuild)
{
    testing::internal::CaptureStdout();
    const auto prompt = awaitTask(PromptService::fetchFromAPI(
        PromptType::text, QStringLiteral("u1"), QStringLiteral("http://exa mple"), QString()));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[PromptService] Failed to build URL\n");
    EXPECT_EQ(prompt, std::nullopt);
}

TEST_F(PromptServiceTest, FallbacksAreTheBuiltInPrompts)
{
    EXPECT_EQ(PromptService::fallbackPrompt(PromptType::text), textFallback);
    EXPECT_EQ(PromptService::fallbackPrompt(PromptType::voice), voiceFallback);
}
