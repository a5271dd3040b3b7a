#include "chat/ChatService.h"

#include "model/CurrentUserProvider.h"
#include "net/TransportError.h"
#include "support/ScriptedHttpServer.h"
#include "support/TaskAwaiting.h"

#include <QElapsedTimer>
#include <QtCore/qtestsupport_core.h>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr auto streamPath = "/api/v1/chat/stream";

class FixedUser : public CurrentUserProvider
{
public:
    explicit FixedUser(std::optional<User> signedIn)
        : user(std::move(signedIn))
    {}
    const std::optional<User> &currentUser() const override { return user; }

private:
    std::optional<User> user;
};

QByteArray event(const QByteArray &type, const QByteArray &json)
{
    return "event: " + type + "\ndata: " + json + "\n\n";
}

const QByteArray complete = event("message_complete", "{}");

std::string summary(const QList<ToolCall> &toolCalls)
{
    std::string text;
    for (const ToolCall &toolCall : toolCalls) {
        text += (text.empty() ? "" : ",") + toolCall.id.toStdString() + "=" +
                (toolCall.result ? toolCall.result->toStdString() : "running");
    }
    return text;
}

std::string inputJson(const ToolCall &toolCall)
{
    auto json = nlohmann::ordered_json::object();
    for (const auto &[key, value] : toolCall.input)
        json[key] = value.encode();
    return json.dump();
}

// The callbacks of one send as text, in the order they came.
struct Recorder
{
    std::vector<std::string> calls;
    std::optional<TransportError::Kind> transportFailure;
    // Runs after each call is recorded, to act from inside a callback.
    std::function<void(const std::string &)> after;

    void record(std::string call)
    {
        calls.push_back(call);
        if (after)
            after(call);
    }
    bool ended() const
    {
        return !calls.empty() && (calls.back() == "complete" || calls.back().starts_with("error:"));
    }
};

class ChatServiceTest : public testing::Test
{
protected:
    std::unique_ptr<ChatService> makeService(std::chrono::milliseconds timeout = 10s)
    {
        return std::make_unique<ChatService>(server.url(streamPath).toString(),
                                             QStringLiteral("tok12345"), timeout);
    }

    void send(Recorder &recorder, const QString &text = QStringLiteral("Hi"),
              const std::optional<QByteArray> &image = std::nullopt)
    {
        service->sendMessage(
            text, image,
            [&recorder](const QString &delta) { recorder.record("delta:" + delta.toStdString()); },
            [&recorder](const ToolCall &toolCall) {
                recorder.record("tool:" + toolCall.id.toStdString() + ":" +
                                toolCall.name.toStdString() + ":" + inputJson(toolCall) +
                                (toolCall.isExecuting ? "" : ":idle"));
            },
            [&recorder](const QString &id, const QString &result, bool isError) {
                recorder.record("result:" + id.toStdString() + ":" + result.toStdString() +
                                (isError ? ":error" : ":ok"));
            },
            [&recorder](std::unique_ptr<Message> message) {
                recorder.record("turn:" + message->content().toStdString() + "|" +
                                summary(message->toolCalls()));
            },
            [&recorder] { recorder.record("complete"); },
            [&recorder](const std::exception &error) {
                if (const auto *transport = dynamic_cast<const TransportError *>(&error))
                    recorder.transportFailure = transport->kind();
                recorder.record(std::string("error:") + error.what());
            });
    }

    static void finish(const Recorder &recorder)
    {
        ASSERT_TRUE(QTest::qWaitFor([&recorder] { return recorder.ended(); }, 20'000));
    }

    static void waitForCall(const Recorder &recorder, std::size_t count)
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.calls.size() >= count; }, 20'000));
    }

    ScriptedHttpServer server;
    std::unique_ptr<ChatService> service = makeService();
};

struct EventsCase
{
    const char *name;
    // Sent a few milliseconds apart.
    QList<QByteArray> chunks;
    std::vector<std::string> calls;
    std::string streamingContent;
    std::string pendingToolCalls;
};

class ChatServiceEvents : public ChatServiceTest, public testing::WithParamInterface<EventsCase>
{};

struct UserCase
{
    const char *name;
    bool withProvider;
    std::optional<User> user;
    std::string body;
};

class ChatServiceRequest : public ChatServiceTest, public testing::WithParamInterface<UserCase>
{};

class ChatServiceStatus : public ChatServiceTest, public testing::WithParamInterface<int>
{};

class ChatServiceCancel : public ChatServiceTest, public testing::WithParamInterface<bool>
{};

} // namespace

TEST_P(ChatServiceRequest, PostsTheUserTurnCompactlyWithTheUserOnlyWhenSignedIn)
{
    const auto &param = GetParam();
    FixedUser provider(param.user);
    if (param.withProvider)
        service->setAuthService(&provider);
    server.route("POST", streamPath, ScriptedReply::eventStream({complete}));
    Recorder recorder;
    testing::internal::CaptureStdout();
    send(recorder);
    finish(recorder);
    const std::string output = testing::internal::GetCapturedStdout();

    ASSERT_EQ(server.requests().size(), 1);
    const RecordedRequest &request = server.requests().first();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, streamPath);
    EXPECT_EQ(request.header("content-type"), "application/json");
    EXPECT_EQ(request.header("authorization"), "Bearer tok12345");
    EXPECT_EQ(request.body.toStdString(), param.body);
    EXPECT_EQ(output, "[ChatService] Request body: " + param.body + "\n");
    EXPECT_EQ(recorder.calls, std::vector<std::string>{"complete"});
}

INSTANTIATE_TEST_SUITE_P(
    ChatService, ChatServiceRequest,
    testing::Values(UserCase{"NoSignInService", false, std::nullopt,
                             R"({"messages":[{"role":"user","content":"Hi"}],"prompt_type":"text",)"
                             R"("client":"vessa_mac"})"},
                    UserCase{"SignedOut", true, std::nullopt,
                             R"({"messages":[{"role":"user","content":"Hi"}],"prompt_type":"text",)"
                             R"("client":"vessa_mac"})"},
                    UserCase{"SignedIn", true,
                             User{QStringLiteral("user_01"), QStringLiteral("a@b.c"), std::nullopt,
                                  std::nullopt},
                             R"({"messages":[{"role":"user","content":"Hi"}],"prompt_type":"text",)"
                             R"("client":"vessa_mac","workos_user_id":"user_01"})"}),
    [](const testing::TestParamInfo<UserCase> &caseInfo) {
        return std::string(caseInfo.param.name);
    });

TEST_F(ChatServiceTest, LogShowsTheFirst500CharactersOfTheBodyWithoutSplittingAny)
{
    server.route("POST", streamPath, ScriptedReply::eventStream({complete}));
    QString text;
    for (int i = 0; i < 600; ++i)
        text += QStringLiteral("👍");
    Recorder recorder;
    testing::internal::CaptureStdout();
    send(recorder, text, QByteArray());
    finish(recorder);
    const std::string output = testing::internal::GetCapturedStdout();

    const std::string head = R"({"messages":[{"role":"user","content":[{"type":"image","source":)"
                             R"({"type":"base64","media_type":"image/jpeg","data":""}},)"
                             R"({"type":"text","text":")";
    std::string expected = "[ChatService] Request body: " + head;
    for (std::size_t i = head.size(); i < 500; ++i)
        expected += "👍";
    EXPECT_EQ(output, expected + "\n");
}

TEST_P(ChatServiceEvents, CallsBackInArrivalOrder)
{
    const auto &param = GetParam();
    server.route("POST", streamPath, ScriptedReply::eventStream(param.chunks, 5ms));
    Recorder recorder;
    send(recorder);
    finish(recorder);
    EXPECT_EQ(recorder.calls, param.calls);
    EXPECT_EQ(service->streamingContent().toStdString(), param.streamingContent);
    EXPECT_EQ(summary(service->pendingToolCalls()), param.pendingToolCalls);
    EXPECT_FALSE(service->isStreaming());
}

INSTANTIATE_TEST_SUITE_P(
    ChatService, ChatServiceEvents,
    testing::Values(
        EventsCase{"OnlyMessageCompleteMakesNoTurn", {complete}, {"complete"}, "", ""},
        EventsCase{"TwoDeltasMakeOneMessage",
                   {event("content_delta", R"({"delta":"Hello"})"),
                    event("content_delta", R"({"delta":", world"})"), complete},
                   {"delta:Hello", "delta:, world", "turn:Hello, world|", "complete"},
                   "Hello, world",
                   ""},
        EventsCase{
            "WhiteSpaceWithAToolIsStillAMessage",
            {event("content_delta", R"({"delta":" \n "})"),
             event("tool_use_start", R"({"tool_id":"t1","tool":"search","input":)"
                                     R"({"q":"x","n":2}})"),
             complete},
            {"delta: \n ", R"(tool:t1:search:{"q":"x","n":2})", "turn: \n |t1=running", "complete"},
            " \n ",
            "t1=running"},
        EventsCase{"WhiteSpaceAloneIsNoMessage",
                   {event("content_delta", R"({"delta":"\n\t \u3000"})"), complete},
                   {"delta:\n\t \u3000", "complete"},
                   "\n\t \u3000",
                   ""},
        EventsCase{"TwoCompletesMakeTwoEqualMessages",
                   {event("content_delta", R"({"delta":"Hi"})"), complete, complete},
                   {"delta:Hi", "turn:Hi|", "turn:Hi|", "complete"},
                   "Hi",
                   ""},
        EventsCase{"ToolResultBeforeItsStartChangesNoToolCall",
                   {event("tool_result", R"({"tool_id":"t9","result":"early"})"),
                    event("tool_use_start", R"({"tool_id":"t9","tool":"clock"})")},
                   {"result:t9:early:ok", "tool:t9:clock:{}", "complete"},
                   "",
                   "t9=running"},
        EventsCase{
            "ToolResultFinishesTheFirstToolWithThatId",
            {event("tool_use_start", R"({"tool_id":"t1","tool":"a"})"),
             event("tool_use_start", R"({"tool_id":"t1","tool":"b"})"),
             event("tool_result", R"({"tool_id":"t1","result":{"ok":true},"is_error":true})"),
             complete},
            {"tool:t1:a:{}", "tool:t1:b:{}", R"(result:t1:{"ok":true}:error)",
             R"(turn:|t1={"ok":true},t1=running)", "complete"},
            "",
            R"(t1={"ok":true},t1=running)"},
        EventsCase{"MalformedAndUnknownLinesAreSkipped",
                   {": comment\nid: 7\nretry: 10\ndata: {broken\ndata:{\"delta\":\"no space\"}\n"
                    "data: [DONE]\ndata: [1,2]\nevent:content_delta\n",
                    event("ping", "{}"), event("content_delta", R"({"text":"no delta"})"),
                    event("content_delta", R"({"delta":"ok"})")},
                   {"delta:ok", "complete"},
                   "ok",
                   ""},
        EventsCase{"BodyEndingInsideACharacterSkipsOnlyTheBrokenLine",
                   {event("content_delta", R"({"delta":"ok"})"), "data: {\"delta\":\"caf\xC3"},
                   {"delta:ok", "complete"},
                   "ok",
                   ""},
        EventsCase{"CharacterSplitAcrossChunksArrivesWhole",
                   {"event: content_delta\ndata: {\"delta\":\"caf\xC3", "\xA9\"}\n\n"},
                   {"delta:café", "complete"},
                   "café",
                   ""},
        EventsCase{"TypeKeyServesWithoutAnEventLine",
                   {"data: {\"type\":\"content_delta\",\"delta\":\"x\"}\n",
                    "data: {\"type\":\"message_complete\"}\n"},
                   {"delta:x", "turn:x|", "complete"},
                   "x",
                   ""}),
    [](const testing::TestParamInfo<EventsCase> &caseInfo) {
        return std::string(caseInfo.param.name);
    });

TEST_F(ChatServiceTest, ErrorEventIsLoggedAndEndsTheReply)
{
    server.route("POST", streamPath,
                 ScriptedReply::eventStream({event("content_delta", R"({"delta":"part"})") +
                                             event("error", R"({"error":"Overloaded",)"
                                                            R"("code":"529"})") +
                                             event("content_delta", R"({"delta":"after"})")}));
    Recorder recorder;
    testing::internal::CaptureStdout();
    send(recorder);
    finish(recorder);
    const std::string output = testing::internal::GetCapturedStdout();

    EXPECT_TRUE(output.ends_with("\n[ChatService] SSE error: 529 - Overloaded\n")) << output;
    EXPECT_EQ(recorder.calls,
              (std::vector<std::string>{"delta:part", "error:Error during streaming response"}));
    EXPECT_EQ(service->streamingContent(), QStringLiteral("part"));
    EXPECT_FALSE(service->isStreaming());
}

TEST_P(ChatServiceStatus, OtherThan200FailsWithoutReadingTheBody)
{
    ScriptedReply reply = ScriptedReply::eventStream({event("content_delta", R"({"delta":"x"})")});
    reply.status = GetParam();
    server.route("POST", streamPath, reply);
    Recorder recorder;
    send(recorder);
    finish(recorder);
    EXPECT_EQ(recorder.calls, std::vector<std::string>{
                                  "error:API error (status: " + std::to_string(GetParam()) + ")"});
    EXPECT_EQ(service->streamingContent(), QString());
    EXPECT_FALSE(service->isStreaming());
}

INSTANTIATE_TEST_SUITE_P(ChatService, ChatServiceStatus, testing::Values(201, 401, 500));

TEST_F(ChatServiceTest, DeltasArriveWhileTheServerStillHoldsTheRest)
{
    constexpr auto delay = 400ms;
    server.route("POST", streamPath,
                 ScriptedReply::eventStream({event("content_delta", R"({"delta":"A"})"),
                                             event("content_delta", R"({"delta":"B"})"), complete},
                                            delay));
    QElapsedTimer clock;
    std::vector<qint64> arrivals;
    Recorder recorder;
    recorder.after = [&](const std::string &call) {
        if (call.starts_with("delta:")) {
            arrivals.push_back(clock.elapsed());
            EXPECT_TRUE(service->isStreaming());
        }
    };
    clock.start();
    send(recorder);
    finish(recorder);
    ASSERT_EQ(arrivals.size(), 2U);
    // Each delta came before the chunk after it was even sent.
    EXPECT_LT(arrivals[0], delay.count());
    EXPECT_LT(arrivals[1], 2 * delay.count());
    EXPECT_GE(arrivals[1], delay.count() - 50);
    EXPECT_EQ(recorder.calls,
              (std::vector<std::string>{"delta:A", "delta:B", "turn:AB|", "complete"}));
}

TEST_F(ChatServiceTest, DroppedConnectionReportsErrorAndKeepsText)
{
    ScriptedReply reply =
        ScriptedReply::eventStream({event("content_delta", R"({"delta":"Hello"})")});
    // With a length the cut is certain; Qt may take a chunked body cut short for a whole one.
    reply.framing = ScriptedReply::Framing::contentLength;
    reply.dropAfterChunks = true;
    server.route("POST", streamPath, reply);
    Recorder recorder;
    send(recorder);
    finish(recorder);
    ASSERT_EQ(recorder.calls.size(), 2U);
    EXPECT_EQ(recorder.calls[0], "delta:Hello");
    EXPECT_EQ(recorder.transportFailure, TransportError::Kind::connectionLost);
    EXPECT_EQ(service->streamingContent(), QStringLiteral("Hello"));
    EXPECT_FALSE(service->isStreaming());
}

TEST_F(ChatServiceTest, ReplyThatNeverComesTimesOut)
{
    service = makeService(300ms);
    ScriptedReply silence;
    silence.neverAnswer = true;
    server.route("POST", streamPath, silence);
    Recorder recorder;
    send(recorder);
    finish(recorder);
    ASSERT_EQ(recorder.calls.size(), 1U);
    EXPECT_EQ(recorder.transportFailure, TransportError::Kind::timedOut);
    EXPECT_GT(recorder.calls[0].size(), std::string("error:").size());
    EXPECT_FALSE(service->isStreaming());
}

TEST_F(ChatServiceTest, CancelBeforeTheHeadReportsNothing)
{
    ScriptedReply silence;
    silence.neverAnswer = true;
    server.route("POST", streamPath, silence);
    Recorder recorder;
    send(recorder);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !server.requests().isEmpty(); }, 20'000));
    EXPECT_TRUE(service->isStreaming());
    EXPECT_TRUE(service->hasCurrentTask());

    service->cancelStream();
    EXPECT_FALSE(service->isStreaming());
    EXPECT_FALSE(service->hasCurrentTask());
    QTest::qWait(100);
    EXPECT_TRUE(recorder.calls.empty());
}

TEST_P(ChatServiceCancel, CancelWhileStreamingCompletesOnceAndStopsEvents)
{
    const bool fromCallback = GetParam();
    constexpr auto delay = 150ms;
    server.route("POST", streamPath,
                 ScriptedReply::eventStream({event("content_delta", R"({"delta":"A"})"),
                                             event("content_delta", R"({"delta":"B"})"), complete},
                                            delay));
    Recorder recorder;
    if (fromCallback) {
        recorder.after = [this](const std::string &call) {
            if (call == "delta:A")
                service->cancelStream();
        };
    }
    send(recorder);
    waitForCall(recorder, 1);
    if (!fromCallback)
        service->cancelStream();

    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"delta:A", "complete"}));
    EXPECT_FALSE(service->isStreaming());
    QTest::qWait(int(3 * delay.count()));
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"delta:A", "complete"}));
    EXPECT_EQ(service->streamingContent(), QStringLiteral("A"));
}

INSTANTIATE_TEST_SUITE_P(ChatService, ChatServiceCancel, testing::Bool(),
                         [](const testing::TestParamInfo<bool> &caseInfo) {
                             return caseInfo.param ? "FromCallback" : "FromOutside";
                         });

TEST_F(ChatServiceTest, SendWhileStreamingCancelsTheFirstAndStartsClean)
{
    server.route("POST", streamPath, [](const RecordedRequest &request) {
        if (request.body.contains("first")) {
            return ScriptedReply::eventStream({event("content_delta", R"({"delta":"A"})"),
                                               event("content_delta", R"({"delta":"B"})"),
                                               complete},
                                              150ms);
        }
        return ScriptedReply::eventStream({event("content_delta", R"({"delta":"X"})"), complete});
    });
    std::vector<bool> streaming;
    QObject::connect(service.get(), &ChatService::isStreamingChanged,
                     [this, &streaming] { streaming.push_back(service->isStreaming()); });
    Recorder first;
    Recorder second;
    send(first, QStringLiteral("first"));
    waitForCall(first, 1);

    send(second, QStringLiteral("second"));
    EXPECT_EQ(first.calls, (std::vector<std::string>{"delta:A", "complete"}));
    EXPECT_TRUE(service->isStreaming());
    EXPECT_EQ(service->streamingContent(), QString());
    finish(second);
    QTest::qWait(450);

    EXPECT_EQ(first.calls, (std::vector<std::string>{"delta:A", "complete"}));
    EXPECT_EQ(second.calls, (std::vector<std::string>{"delta:X", "turn:X|", "complete"}));
    EXPECT_EQ(service->streamingContent(), QStringLiteral("X"));
    EXPECT_EQ(streaming, (std::vector<bool>{true, false}));
}

TEST_F(ChatServiceTest, DestroyingTheServiceMidReplyCallsNothingMore)
{
    server.route("POST", streamPath,
                 ScriptedReply::eventStream({event("content_delta", R"({"delta":"A"})"),
                                             event("content_delta", R"({"delta":"B"})"), complete},
                                            100ms));
    Recorder recorder;
    send(recorder);
    waitForCall(recorder, 1);
    service.reset();
    QTest::qWait(300);
    EXPECT_EQ(recorder.calls, std::vector<std::string>{"delta:A"});
}

TEST_F(ChatServiceTest, ProgressNotifiesOnlyRealChanges)
{
    int streamingChanges = 0;
    int contentChanges = 0;
    int taskChanges = 0;
    int providerChanges = 0;
    QObject::connect(service.get(), &ChatService::isStreamingChanged, [&] { ++streamingChanges; });
    QObject::connect(service.get(), &ChatService::streamingContentChanged,
                     [&] { ++contentChanges; });
    QObject::connect(service.get(), &ChatService::currentTaskChanged, [&] { ++taskChanges; });
    QObject::connect(service.get(), &ChatService::authServiceChanged, [&] { ++providerChanges; });

    FixedUser provider(std::nullopt);
    service->setAuthService(&provider);
    service->setAuthService(&provider);
    service->cancelStream();
    EXPECT_EQ(providerChanges, 1);
    EXPECT_EQ(streamingChanges, 0);
    EXPECT_EQ(taskChanges, 0);

    server.route("POST", streamPath,
                 ScriptedReply::eventStream({event("content_delta", R"({"delta":"A"})") +
                                             event("content_delta", R"({"delta":""})") +
                                             event("content_delta", R"({"delta":"B"})")}));
    Recorder recorder;
    send(recorder);
    finish(recorder);
    EXPECT_EQ(streamingChanges, 2);
    EXPECT_EQ(contentChanges, 2);
    EXPECT_EQ(taskChanges, 1);
    EXPECT_TRUE(service->hasCurrentTask());
    EXPECT_EQ(recorder.calls,
              (std::vector<std::string>{"delta:A", "delta:", "delta:B", "complete"}));
}

TEST_F(ChatServiceTest, ConfigureOnlyLogs)
{
    testing::internal::CaptureStdout();
    awaitTask(service->configure(QStringLiteral("user_9")));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[ChatService] Configured for user: user_9\n");
    EXPECT_FALSE(service->isStreaming());
    EXPECT_FALSE(service->hasCurrentTask());
}
