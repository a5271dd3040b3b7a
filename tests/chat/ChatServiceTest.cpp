#include "chat/ChatService.h"

#include "model/CurrentUserProvider.h"
#include "net/TransportError.h"
#include "support/ScriptedHttpServer.h"
#include "support/TaskAwaiting.h"

#include <QtCore/qtestsupport_core.h>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr auto streamPath = "/api/v1/chat/stream";

struct FixedUser : CurrentUserProvider
{
    std::optional<User> user;
    const std::optional<User> &currentUser() const override { return user; }
};

QByteArray delta(const QByteArray &text)
{
    return ScriptedReply::event("content_delta", R"({"delta":")" + text + "\"}");
}

const QByteArray complete = ScriptedReply::event("message_complete", "{}");

// A delta whose object nests that many levels deep.
QByteArray nested(int depth, const QByteArray &text)
{
    return R"(data: {"type":"content_delta","delta":")" + text + R"(","a":)" +
           QByteArray(depth - 1, '[') + QByteArray(depth - 1, ']') + "}\n";
}

// Chunks a few milliseconds apart, so that they arrive separately; no outcome depends on it.
ScriptedReply drip(QList<QByteArray> chunks)
{
    return ScriptedReply::eventStream(std::move(chunks), 5ms);
}

// An event stream with one fault: holdOpen, dropAfterChunks or neverAnswer.
ScriptedReply faulty(QList<QByteArray> chunks, bool ScriptedReply::*fault)
{
    ScriptedReply reply = ScriptedReply::eventStream(std::move(chunks));
    reply.*fault = true;
    // With a length a cut is certain; Qt may take a chunked body cut short for a whole one.
    if (fault == &ScriptedReply::dropAfterChunks)
        reply.framing = ScriptedReply::Framing::contentLength;
    return reply;
}

std::string transportFailure(TransportError::Kind kind)
{
    return "error:transport " + std::to_string(int(kind));
}

// The text, or for a long one its length.
std::string shown(const QString &text)
{
    return text.size() > 64 ? '<' + std::to_string(text.size()) + " units>" : text.toStdString();
}

std::string summary(const QList<ToolCall> &toolCalls)
{
    std::string text;
    for (const ToolCall &toolCall : toolCalls) {
        text += (text.empty() ? "" : ",") + toolCall.id.toStdString() + "=" +
                (toolCall.result ? shown(*toolCall.result) : "running");
    }
    return text;
}

using Calls = std::vector<std::string>;

// The callbacks of one send as text, in the order they came.
struct Recorder
{
    Calls calls;
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
        return !calls.empty() && (calls.back() == "complete" || calls.back().starts_with("error"));
    }
};

void send(ChatService &service, Recorder &recorder, const QString &text = QStringLiteral("Hi"),
          const std::optional<QByteArray> &image = std::nullopt)
{
    service.sendMessage(
        text, image,
        [&recorder](const QString &delta) { recorder.record("delta:" + shown(delta)); },
        [&recorder](const ToolCall &toolCall) {
            recorder.record("tool:" + toolCall.id.toStdString() + ":" +
                            toolCall.name.toStdString() + ":" +
                            nlohmann::ordered_json(toolCall)["input"].dump() +
                            (toolCall.isExecuting ? "" : ":idle"));
        },
        [&recorder](const QString &id, const QString &result, bool isError) {
            recorder.record("result:" + id.toStdString() + ":" + shown(result) +
                            (isError ? ":error" : ":ok"));
        },
        [&recorder](std::unique_ptr<Message> message) {
            recorder.record("turn:" + shown(message->content()) + "|" +
                            summary(message->toolCalls()));
        },
        [&recorder] { recorder.record("complete"); },
        [&recorder](const std::exception &error) {
            const auto *transport = dynamic_cast<const TransportError *>(&error);
            recorder.record(transport ? transportFailure(transport->kind())
                                      : std::string("error:") + error.what());
        });
}

void finish(const Recorder &recorder)
{
    ASSERT_TRUE(QTest::qWaitFor([&recorder] { return recorder.ended(); }, 20'000));
}

void waitForCalls(const Recorder &recorder, std::size_t count)
{
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.calls.size() >= count; }, 20'000));
}

class ChatServiceTest : public testing::Test
{
protected:
    std::unique_ptr<ChatService> makeService(std::chrono::milliseconds limit = 10s,
                                             const QByteArray &path = streamPath)
    {
        return std::make_unique<ChatService>(server.url(path).toString(),
                                             QStringLiteral("tok12345"), limit);
    }

    // A whole exchange on a service of its own: once it is over, whatever a reply stopped
    // earlier could still have delivered has been delivered.
    void roundTrip()
    {
        server.route("POST", "/other", ScriptedReply::eventStream({complete}));
        const auto other = makeService(10s, "/other");
        Recorder recorder;
        send(*other, recorder);
        finish(recorder);
    }

    ScriptedHttpServer server;
    std::unique_ptr<ChatService> service = makeService();
};

struct ReplyCase
{
    const char *name;
    ScriptedReply reply;
    // The calls, then the text and the tools the reply left behind.
    Calls calls;
    // Short for the silence cases only, so that no pause of a busy machine passes for one.
    std::chrono::milliseconds inactivityLimit = 10s;
};

void PrintTo(const ReplyCase &replyCase, std::ostream *out)
{
    *out << replyCase.name;
}

class ChatServiceReply : public ChatServiceTest, public testing::WithParamInterface<ReplyCase>
{};

// How a streaming reply is stopped (Cancel, Send again, Destroy the service) and when
// (AsItStartsStreaming, from an observer of isStreaming; BeforeTheHead, AfterTwoDeltas,
// InTheFirstDeltaCallback). The reply is held open after its two deltas, sent together: from a
// callback the stop comes while the second one waits in the buffer.
// A lone carriage return ends the second: it is a whole terminator as soon as it arrives.
const QByteArray twoDeltas = "event: content_delta\r\ndata: {\"delta\":\"A\"}\r\n\r\n"
                             "data: {\"delta\":\"B\"}\r";

class ChatServiceInterruption
    : public ChatServiceTest,
      public testing::WithParamInterface<std::tuple<std::string, std::string>>
{};

} // namespace

TEST_F(ChatServiceTest, PostsTheUserTurnWithTheUserOnlyWhenSignedIn)
{
    server.route("POST", streamPath, ScriptedReply::eventStream({complete}));
    const auto post = [this](const QString &text, const std::optional<QByteArray> &image) {
        Recorder recorder;
        send(*service, recorder, text, image);
        finish(recorder);
        EXPECT_EQ(recorder.calls, Calls{"complete"});
        const RecordedRequest &request = server.requests().back();
        EXPECT_EQ(request.method + ' ' + request.target, QByteArray("POST ") + streamPath);
        EXPECT_EQ(request.header("content-type"), "application/json");
        EXPECT_EQ(request.header("authorization"), "Bearer tok12345");
        return request.body.toStdString();
    };
    FixedUser provider;
    service->setAuthService(&provider);
    const QString head = QStringLiteral(R"({"messages":[{"role":"user","content":")");
    const QString thumbs = QStringLiteral("👍").repeated(600);
    testing::internal::CaptureStdout();
    EXPECT_EQ(post(thumbs, std::nullopt),
              (head + thumbs).toStdString() + R"("}],"prompt_type":"text","client":"vessa_mac"})");
    // The log is the only place the request shows; it must not cut a character in two.
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[ChatService] Request body: " +
                  (head + QStringLiteral("👍").repeated(500 - head.size())).toStdString() + "\n");

    // The image goes first, in standard padded base64; empty text adds no block.
    provider.user = User{QStringLiteral("user_01"), QStringLiteral("a@b.c"), {}, {}};
    testing::internal::CaptureStdout();
    EXPECT_EQ(post(QString(), QByteArray("\xff\xfe\x00\x01\x02", 5)),
              R"({"messages":[{"role":"user","content":[{"type":"image","source":{"type":)"
              R"("base64","media_type":"image/jpeg","data":"//4AAQI="}}]}],"prompt_type":"text",)"
              R"("client":"vessa_mac","workos_user_id":"user_01"})");
    awaitTask(service->configure(QStringLiteral("user_01")));
    // Who the user is stays out of the log.
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(log.find("user_01"), std::string::npos) << log;
    EXPECT_NE(log.find(R"("workos_user_id":"[redacted]")"), std::string::npos) << log;
}

TEST_P(ChatServiceReply, CallsBackInArrivalOrderAndNotifiesOnlyRealChanges)
{
    server.route("POST", streamPath, GetParam().reply);
    service = makeService(GetParam().inactivityLimit);
    std::string notified;
    const auto note = [&](auto signal, char letter) {
        QObject::connect(service.get(), signal, [&notified, letter] { notified += letter; });
    };
    note(&ChatService::currentTaskChanged, 'T');
    note(&ChatService::isStreamingChanged, 'S');
    note(&ChatService::streamingContentChanged, 'C');
    Recorder recorder;
    send(*service, recorder);
    finish(recorder);
    EXPECT_FALSE(service->isStreaming());
    EXPECT_TRUE(service->hasCurrentTask());
    // The text changes once per delta that adds to it.
    std::string expected = "TS";
    for (const std::string &call : recorder.calls)
        expected += call.starts_with("delta:") && call.size() > 6 ? "C" : "";
    EXPECT_EQ(notified, expected + "S");
    recorder.calls.push_back("left:" + service->streamingContent().toStdString() + "|" +
                             summary(service->pendingToolCalls()));
    EXPECT_EQ(recorder.calls, GetParam().calls);
}

INSTANTIATE_TEST_SUITE_P(
    ChatService, ChatServiceReply,
    testing::Values(
        // Only a turn with text other than white space, or with tools, is a message.
        ReplyCase{
            "EachCompleteOfAnythingButWhiteSpaceMakesAMessage",
            drip({delta(R"(\n\t \u3000)"), complete, delta(""), delta("Hi"), complete, complete}),
            {"delta:\n\t \u3000", "delta:", "delta:Hi", "turn:\n\t \u3000Hi|",
             "turn:\n\t \u3000Hi|", "complete", "left:\n\t \u3000Hi|"}},
        ReplyCase{
            "WhiteSpaceWithToolsIsAMessageAndAResultFinishesTheFirstToolWithItsId",
            drip({delta(R"( \n )"),
                  ScriptedReply::event("tool_use_start",
                                       R"({"tool_id":"t1","tool":"a","input":{"q":"x"}})"),
                  ScriptedReply::event("tool_use_start", R"({"tool_id":"t1","tool":"b"})"),
                  ScriptedReply::event("tool_result",
                                       R"({"tool_id":"t1","result":{"n":1},"is_error":true})"),
                  complete}),
            {"delta: \n ", R"(tool:t1:a:{"q":"x"})", "tool:t1:b:{}", R"(result:t1:{"n":1}:error)",
             "turn: \n |t1={\"n\":1},t1=running", "complete", "left: \n |t1={\"n\":1},t1=running"}},
        ReplyCase{"ToolResultBeforeItsStartChangesNoToolCallAndAnyResultBecomesText",
                  drip({ScriptedReply::event("tool_result",
                                             R"({"tool_id":"t9","result":true,"is_error":"y"})"),
                        ScriptedReply::event("tool_use_start",
                                             R"({"tool_id":"t9","tool":"clock","input":[1]})"),
                        ScriptedReply::event("tool_result", R"({"tool_id":"t9","result":null})"),
                        ScriptedReply::event("tool_result",
                                             R"({"tool_id":"t9","result":3.5,"is_error":1})")}),
                  {"result:t9:1:ok", "tool:t9:clock:{}", "result:t9:<null>:ok", "result:t9:3.5:ok",
                   "complete", "left:|t9=3.5"}},
        ReplyCase{
            "MalformedAndUnknownLinesAreSkipped",
            drip({": comment\nid: 7\ndata: {broken\ndata:{\"delta\":\"no space\"}\n"
                  "data: [DONE]\ndata: [1,2]\nevent:content_delta\n",
                  ScriptedReply::event("ping", "{}"),
                  ScriptedReply::event("content_delta", R"({"text":"no delta"})"),
                  ScriptedReply::event("content_delta", R"({"delta":5})"),
                  ScriptedReply::event("tool_use_start", R"({"tool_id":1,"tool":"s"})"),
                  ScriptedReply::event("tool_result", R"({"result":"no id"})"),
                  ScriptedReply::event("content_delta", "{\"delta\":\"\xFF\"}"), delta("ok")}),
            {"delta:ok", "complete", "left:ok|"}},
        // Deeper nesting would let one line exhaust the stack of whoever walks the event.
        ReplyCase{"NestingPastTheLimitSkipsOnlyItsLine",
                  drip({nested(512, "ok"), nested(513, "lost"), nested(1'000'000, "lost")}),
                  {"delta:ok", "complete", "left:ok|"}},
        // nlohmann refuses such a number as out of range, not as a syntax error.
        ReplyCase{"NumberTooLargeForADoubleSkipsOnlyItsLine",
                  drip({ScriptedReply::event("content_delta", R"({"delta":"lost","n":1e400})"),
                        delta("ok")}),
                  {"delta:ok", "complete", "left:ok|"}},
        ReplyCase{"CharacterSplitAcrossChunksArrivesWholeAndACutOneSkipsItsLine",
                  drip({"event: content_delta\ndata: {\"delta\":\"caf\xC3", "\xA9\"}\n\n",
                        "data: {\"delta\":\"caf\xC3"}),
                  {"delta:café", "complete", "left:café|"}},
        ReplyCase{"EventLineStaysInForceAndOutranksTheTypeKey",
                  drip({"data: {\"type\":\"content_delta\",\"delta\":\"x\"}\n",
                        "event: content_delta\ndata: {\"delta\":\"y\"}\n\n"
                        "data: {\"type\":\"message_complete\",\"delta\":\"z\"}\n",
                        "event: message_complete\ndata: {}\n"}),
                  {"delta:x", "delta:y", "delta:z", "turn:xyz|", "complete", "left:xyz|"}},
        ReplyCase{"ErrorEventEndsTheReplyAndKeepsTheText",
                  ScriptedReply::eventStream(
                      {delta("part") +
                       ScriptedReply::event("error", R"({"error":"Overloaded","code":"529"})") +
                       delta("after")}),
                  {"delta:part", "error:Error during streaming response", "left:part|"}},
        ReplyCase{"SuccessOtherThan200IsAnError",
                  ScriptedReply::text(delta("x"), 201),
                  {"error:API error (status: 201)", "left:|"}},
        ReplyCase{
            "DroppedConnectionIsAnErrorAndKeepsTheText",
            faulty({delta("Hello")}, &ScriptedReply::dropAfterChunks),
            {"delta:Hello", transportFailure(TransportError::Kind::connectionLost), "left:Hello|"}},
        ReplyCase{"SilenceBeforeTheHeadTimesOut",
                  faulty({}, &ScriptedReply::neverAnswer),
                  {transportFailure(TransportError::Kind::timedOut), "left:|"},
                  300ms},
        ReplyCase{"SilenceInTheBodyTimesOut",
                  faulty({delta("A")}, &ScriptedReply::holdOpen),
                  {"delta:A", transportFailure(TransportError::Kind::timedOut), "left:A|"},
                  300ms}),
    [](const testing::TestParamInfo<ReplyCase> &caseInfo) {
        return std::string(caseInfo.param.name);
    });

// What a reply holds is bounded: its text, its tools' inputs and results, and the turn messages
// made of it, each of which holds the reply so far. Exactly the bound is kept; one unit more fails
// with the reply as far as it fitted.
TEST_F(ChatServiceTest, AReplyHoldsAtMostItsBoundOfTextToolsAndTurns)
{
    const auto reply = [this](QList<QByteArray> chunks) {
        server.route("POST", streamPath, ScriptedReply::eventStream(std::move(chunks)));
        Recorder recorder;
        send(*service, recorder);
        finish(recorder);
        return recorder.calls;
    };
    const qsizetype most = ChatService::maxReplyLength;
    const auto units = [](qsizetype count) { return '<' + std::to_string(count) + " units>"; };
    const std::string tooLong = "error:The reply is too long to show";

    const QByteArray text(most, 'a');
    EXPECT_EQ(reply({delta(text), complete}),
              (Calls{"delta:" + units(most), "turn:" + units(most) + "|", "complete"}));
    EXPECT_EQ(reply({delta(text + "a")}), (Calls{"delta:" + units(most), tooLong}));
    EXPECT_EQ(reply({delta(text.first(most / 2)), complete, complete, complete}),
              (Calls{"delta:" + units(most / 2), "turn:" + units(most / 2) + "|",
                     "turn:" + units(most / 2) + "|", tooLong}));

    // The input counts as its JSON, {"q":"x"}.
    const QByteArray start =
        ScriptedReply::event("tool_use_start", R"({"tool_id":"t1","tool":"a","input":{"q":"x"}})");
    const QByteArray result = ScriptedReply::event(
        "tool_result", R"({"tool_id":"t1","result":")" + QByteArray(most - 9, 'r') + "\"}");
    const Calls tool = {R"(tool:t1:a:{"q":"x"})", "result:t1:" + units(most - 9) + ":ok"};
    EXPECT_EQ(reply({start, result, complete}),
              (Calls{tool[0], tool[1], "turn:|t1=" + units(most - 9), "complete"}));
    EXPECT_EQ(reply({start, result, delta("a")}), (Calls{tool[0], tool[1], "delta:", tooLong}));

    QList<QByteArray> turns = {delta("x")};
    for (int turn = 0; turn < ChatService::maxTurns; ++turn)
        turns.append(complete);
    Calls calls = reply(turns);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "turn:x|"), ChatService::maxTurns);
    EXPECT_EQ(calls.back(), "complete");
    calls = reply(turns + QList{complete});
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "turn:x|"), ChatService::maxTurns);
    EXPECT_EQ(calls.back(), tooLong);

    QByteArray tools;
    for (int i = 0; i < ChatService::maxToolCalls; ++i) {
        tools += ScriptedReply::event("tool_use_start", R"({"tool_id":"t)" + QByteArray::number(i) +
                                                            R"(","tool":"clock"})");
    }
    EXPECT_EQ(reply({tools, complete}).back(), "complete");
    EXPECT_EQ(reply({tools, start}).back(), "error:The reply started too many tools");
}

TEST_P(ChatServiceInterruption, EndsTheReplyOnceAndNothingOfItFollows)
{
    const auto &[how, when] = GetParam();
    server.route("POST", streamPath, [](const RecordedRequest &request) {
        return request.body.contains("second") ? ScriptedReply::eventStream({delta("X"), complete})
                                               : faulty({twoDeltas}, &ScriptedReply::holdOpen);
    });
    std::vector<bool> streaming;
    Recorder first;
    Recorder second;
    const auto interrupt = [&] {
        if (how == "Send")
            send(*service, second, QStringLiteral("second"));
        else if (how == "Cancel")
            service->cancelStream();
        else
            service.reset();
    };
    QObject::connect(service.get(), &ChatService::isStreamingChanged, [&] {
        streaming.push_back(service->isStreaming());
        if (when == "AsItStartsStreaming" && streaming.size() == 1)
            interrupt();
    });
    first.after = [&](const std::string &call) {
        if (when == "InTheFirstDeltaCallback" && call == "delta:A")
            interrupt();
    };
    if (when == "BeforeTheHead")
        server.hold();
    send(*service, first);
    if (when == "BeforeTheHead") {
        ASSERT_TRUE(server.waitForRequests(1));
        interrupt();
        server.release();
    } else if (when == "AfterTwoDeltas") {
        waitForCalls(first, 2);
        interrupt();
    } else if (when == "InTheFirstDeltaCallback") {
        waitForCalls(first, 1);
    }
    if (how == "Cancel") {
        EXPECT_FALSE(service->isStreaming());
        EXPECT_FALSE(service->hasCurrentTask());
        send(*service, second, QStringLiteral("second"));
    }
    if (service)
        finish(second);
    roundTrip();

    // Events already being read end with onComplete, unless the service is gone.
    Calls expected = when == "AfterTwoDeltas"            ? Calls{"delta:A", "delta:B"}
                     : when == "InTheFirstDeltaCallback" ? Calls{"delta:A"}
                                                         : Calls{};
    if (!expected.empty() && how != "Destroy")
        expected.push_back("complete");
    EXPECT_EQ(first.calls, expected);
    // A reply ended as it started sends nothing.
    if (when == "AsItStartsStreaming") {
        for (const RecordedRequest &request : server.requests())
            EXPECT_TRUE(request.path() != streamPath || request.body.contains("second"));
    }
    if (service) {
        EXPECT_EQ(second.calls, (Calls{"delta:X", "turn:X|", "complete"}));
        EXPECT_EQ(service->streamingContent(), QStringLiteral("X"));
        EXPECT_EQ(streaming, (how == "Send" ? std::vector{true, false}
                                            : std::vector{true, false, true, false}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    ChatService, ChatServiceInterruption,
    testing::Combine(testing::Values("Cancel", "Send", "Destroy"),
                     testing::Values("AsItStartsStreaming", "BeforeTheHead", "AfterTwoDeltas",
                                     "InTheFirstDeltaCallback")),
    [](const auto &caseInfo) { return std::get<0>(caseInfo.param) + std::get<1>(caseInfo.param); });
