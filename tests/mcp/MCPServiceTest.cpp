#include "mcp/MCPService.h"

#include "mcp/MCPError.h"
#include "net/TransportError.h"
#include "support/ScriptedHttpServer.h"
#include "support/TaskAwaiting.h"

#include <QSignalSpy>
#include <QTimer>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <stop_token>
#include <string>

using namespace std::chrono_literals;

namespace {

std::string methodOf(const RecordedRequest &request)
{
    return nlohmann::json::parse(request.body.toStdString()).value("method", "");
}

ScriptedReply withStatus(int status)
{
    ScriptedReply reply;
    reply.status = status;
    return reply;
}

ScriptedReply dropped()
{
    ScriptedReply reply = ScriptedReply::json(R"({"jsonrpc":"2.0")");
    reply.dropAfterChunks = true;
    return reply;
}

constexpr char echoed[] =
    R"({"jsonrpc":"2.0","id":1,"result":{"content":[{"type":"text","text":"done"}]}})";

constexpr char twoTools[] =
    R"({"jsonrpc":"2.0","id":1,"result":{"tools":[{"name":"echo","description":"Echoes",)"
    R"("inputSchema":{"type":"object"}},{"description":"a tool without a name"},)"
    R"({"name":"get-sum"}]}})";

} // namespace

// A scripted MCP server: "initialize" opens "session-1", "session-2", ...; the initialized
// notification gets `initializedReply`; every other message gets the next of `methodReplies`.
class MCPServiceTest : public ::testing::Test
{
protected:
    MCPServiceTest()
    {
        server.route("POST", "/mcp", [this](const RecordedRequest &request) {
            const std::string method = methodOf(request);
            if (method == "initialize")
                return initializeReply();
            if (method == "notifications/initialized")
                return initializedReply;
            return methodReplies.isEmpty() ? ScriptedReply::text("unscripted", 500)
                                           : methodReplies.takeFirst();
        });
        service.configure("user-1");
    }

    ScriptedReply initializeReply()
    {
        ScriptedReply reply = ScriptedReply::json(
            R"({"jsonrpc":"2.0","id":1,"result":{"protocolVersion":"2025-03-26"}})");
        ++sessionsOpened;
        if (issueSessionIds)
            reply.headers.append(
                {"Mcp-Session-Id", "session-" + QByteArray::number(sessionsOpened)});
        return reply;
    }

    QList<RecordedRequest> requestsFor(const std::string &method) const
    {
        QList<RecordedRequest> matching;
        for (const auto &request : server.requests()) {
            if (methodOf(request) == method)
                matching.append(request);
        }
        return matching;
    }

    ScriptedHttpServer server;
    MCPService service{server.url("/mcp"), 5ms};
    QList<ScriptedReply> methodReplies;
    ScriptedReply initializedReply = withStatus(202);
    bool issueSessionIds = true;
    int sessionsOpened = 0;
};

TEST_F(MCPServiceTest, ListToolsOpensASessionOnceAndSendsTheWireHeaders)
{
    methodReplies = {ScriptedReply::json(twoTools), ScriptedReply::json(twoTools)};
    const auto tools = awaitTask(service.listTools());
    awaitTask(service.listTools());

    ASSERT_EQ(tools.size(), 2U);
    EXPECT_EQ(tools[0], (MCPTool{"echo", "Echoes", AnyCodable::Object{{"type", "object"}}}));
    EXPECT_EQ(tools[1], (MCPTool{"get-sum", std::nullopt, std::nullopt}));
    const auto &requests = server.requests();
    ASSERT_EQ(requests.size(), 4);
    for (const auto &request : requests) {
        EXPECT_EQ(request.header("accept"), "application/json, text/event-stream");
        EXPECT_EQ(request.header("authorization"), "Bearer user-1");
    }
    EXPECT_EQ(requests[0].header("mcp-session-id"), "");
    EXPECT_EQ(requests[1].body, R"({"jsonrpc":"2.0","method":"notifications/initialized"})");
    EXPECT_EQ(requests[3].header("mcp-session-id"), "session-1");
}

TEST_F(MCPServiceTest, SessionErrorsAreRetriedWithANewSessionThenFailOnTheThirdAttempt)
{
    methodReplies = {ScriptedReply::text("gone", 404), ScriptedReply::text("gone", 400),
                     ScriptedReply::text("gone", 404)};
    EXPECT_EQ(failureOf<MCPError>(service.callTool("echo", {{"message", "hi"}})),
              MCPError::requestFailed(404));
    const auto calls = requestsFor("tools/call");
    ASSERT_EQ(calls.size(), 3);
    EXPECT_EQ(calls[0].header("mcp-session-id"), "session-1");
    EXPECT_EQ(calls[2].header("mcp-session-id"), "session-3");
    EXPECT_EQ(calls[2].body.mid(calls[2].body.indexOf("\"method\"")),
              R"("method":"tools/call","params":{"name":"echo","arguments":{"message":"hi"}}})");
}

TEST_F(MCPServiceTest, OnlySessionAndTransportFailuresAreRetried)
{
    methodReplies = {ScriptedReply::text("first line\nsecond line", 500)};
    testing::internal::CaptureStdout();
    EXPECT_EQ(failureOf<MCPError>(service.listTools()), MCPError::requestFailed(500));
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("[MCPService] Error response: first line\\nsecond line\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(requestsFor("tools/list").size(), 1);

    methodReplies = {dropped(), dropped(), dropped()};
    EXPECT_EQ(failureOf<MCPError>(service.listTools()).value().errorCase(),
              MCPError::Case::networkError);
    EXPECT_EQ(requestsFor("tools/list").size(), 4);
}

TEST_F(MCPServiceTest, InitializationFailsOnlyForItsOwnAnswer)
{
    initializedReply = dropped();
    methodReplies = {ScriptedReply::json(twoTools)};
    EXPECT_EQ(awaitTask(service.listTools()).size(), 2U);

    server.route("POST", "/mcp", ScriptedReply::json("{}", 503));
    service.resetSession();
    EXPECT_EQ(failureOf<MCPError>(service.listTools()), MCPError::initializationFailed());

    MCPService unconfigured(server.url("/mcp"), 5ms);
    EXPECT_EQ(failureOf<MCPError>(unconfigured.callTool("echo", {})), MCPError::notConfigured());
}

TEST_F(MCPServiceTest, RepliesOfEveryShape)
{
    ScriptedReply stream = ScriptedReply::eventStream(
        {"event: message\nid: 9\n", "data: {\"jsonrpc\":\"2.0\",\"id\":1,\n",
         "data: \"result\":{\"tools\":[{\"name\":\"x\"}]}}\n\n"});
    stream.headers = {{"Content-Type", "text/event-stream; charset=utf-8"}};
    methodReplies = {
        stream,
        ScriptedReply::json(""),
        ScriptedReply::json(R"({"jsonrpc":"2.0","id":1,"error":{"code":-32602,"message":"nope"}})"),
        ScriptedReply::json(R"({"result":{"content":[{"type":"text","text":"t"},)"
                            R"({"type":"image"}],"structuredContent":{"b":[1.5]}}})"),
        ScriptedReply::json("{\"result\": tru"),
        ScriptedReply::json("[1,2]")};

    const auto tools = awaitTask(service.listTools());
    ASSERT_EQ(tools.size(), 1U);
    EXPECT_EQ(tools[0].name, "x");
    EXPECT_EQ(awaitTask(service.callTool("echo", {})), MCPToolResult{});
    const auto failed = awaitTask(service.callTool("nope", {}));
    EXPECT_TRUE(failed.isError);
    EXPECT_EQ(failed.text(), "Tool error: nope");
    const auto structured = awaitTask(service.callTool("weather", {}));
    EXPECT_EQ(structured.content, (std::vector<MCPContent>{{"text", "t"}}));
    EXPECT_EQ(structured.text(), R"({"b":[1.5]})");
    EXPECT_THROW(awaitTask(service.listTools()), nlohmann::json::parse_error);
    EXPECT_EQ(failureOf<MCPError>(service.listTools()), MCPError::invalidResponse());
}

// JSON the client cannot hold (a number beyond a double, nesting deeper than a value may go) is
// an invalid reply, in a plain body and in an event stream, for a listing and for a call alike.
TEST_F(MCPServiceTest, RepliesTheClientCannotHoldFailAsInvalidResponse)
{
    const QByteArray tooLarge = R"({"jsonrpc":"2.0","id":1,"result":{"tools":[],"n":1e400}})";
    const QByteArray tooDeep = "{\"jsonrpc\":\"2.0\",\"id\":1,\"result\":" + QByteArray(600, '[') +
                               QByteArray(600, ']') + "}";
    for (const QByteArray &body : {tooLarge, tooDeep}) {
        methodReplies = {ScriptedReply::json(body), ScriptedReply::json(body),
                         ScriptedReply::eventStream({"data: " + body + "\n\n"}),
                         ScriptedReply::eventStream({"data: " + body + "\n\n"})};
        EXPECT_EQ(failureOf<MCPError>(service.listTools()), MCPError::invalidResponse());
        EXPECT_EQ(failureOf<MCPError>(service.callTool("echo", {})), MCPError::invalidResponse());
        EXPECT_EQ(failureOf<MCPError>(service.listTools()), MCPError::invalidResponse());
        EXPECT_EQ(failureOf<MCPError>(service.callTool("echo", {})), MCPError::invalidResponse());
    }
}

TEST_F(MCPServiceTest, AnErrorBodyIsLoggedInPart)
{
    methodReplies = {ScriptedReply::text(QByteArray(1 << 20, 'x'), 500)};
    testing::internal::CaptureStdout();
    const auto failure = failureOf<MCPError>(service.listTools());
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(failure, MCPError::requestFailed(500));
    const auto line = output.find("[MCPService] Error response: xxx");
    ASSERT_NE(line, std::string::npos) << output;
    EXPECT_LT(output.find('\n', line) - line, 400U);
}

TEST_F(MCPServiceTest, ConcurrentCallsShareOneOpeningAndARetryDropsOnlyTheFailedSession)
{
    QSignalSpy sessionChanges(&service, &MCPService::sessionIdChanged);
    methodReplies = {ScriptedReply::text("gone", 404), ScriptedReply::text("gone", 404),
                     ScriptedReply::json(echoed), ScriptedReply::json(echoed),
                     ScriptedReply::json(echoed)};
    auto first = service.callTool("echo", {});
    auto second = service.callTool("echo", {});
    auto third = service.callTool("echo", {});

    EXPECT_EQ(awaitTask(std::move(first)).text(), "done");
    EXPECT_EQ(awaitTask(std::move(second)).text(), "done");
    EXPECT_EQ(awaitTask(std::move(third)).text(), "done");
    // One opening for the three calls, one more after both failures of session-1.
    EXPECT_EQ(requestsFor("initialize").size(), 2);
    EXPECT_EQ(service.sessionId(), "session-2");
    EXPECT_EQ(sessionChanges.count(), 3);
}

TEST_F(MCPServiceTest, DestroyingTheServiceEndsItsCallsAsCancelled)
{
    methodReplies = {ScriptedReply::json(echoed)};
    auto patient = std::make_unique<MCPService>(server.url("/mcp"), 5ms);
    patient->configure("user-1");
    awaitTask(patient->ensureSession());
    server.hold();
    auto call = patient->callTool("echo", {});
    auto opening = std::make_unique<MCPService>(server.url("/mcp"), 5ms);
    opening->configure("user-1");
    auto waitingForSession = opening->callTool("echo", {});
    ASSERT_TRUE(server.waitForRequests(4));

    patient.reset();
    opening.reset();
    server.release();
    EXPECT_THROW(awaitTask(std::move(call)), TransportError);
    EXPECT_THROW(awaitTask(std::move(waitingForSession)), TransportError);
}

TEST_F(MCPServiceTest, AStopDuringTheRetryWaitEndsWithTheCancellation)
{
    MCPService patient(server.url("/mcp"), 10s);
    patient.configure("user-1");
    methodReplies = {ScriptedReply::text("gone", 404)};
    std::stop_source stop;
    QTimer::singleShot(100ms, [&stop] { stop.request_stop(); });
    try {
        awaitTask(patient.listTools(stop.get_token()));
        ADD_FAILURE() << "the request was not cancelled";
    } catch (const TransportError &error) {
        EXPECT_EQ(error.kind(), TransportError::Kind::cancelled);
    }
    EXPECT_EQ(requestsFor("tools/list").size(), 1);
}

TEST(MCPServiceEventStream, NotificationsBeforeTheReplyAreSkippedWhateverTheyHold)
{
    const QByteArray body =
        "event: message\ndata: {\"jsonrpc\":\"2.0\",\"method\":\"notifications/message\"}\n\n"
        "event: message\ndata: {not json\n\n"
        "event: message\ndata: {\"method\":\"notifications/progress\",\"progress\":1e400}\n\n"
        "event: message\ndata: {\"jsonrpc\":\"2.0\",\"id\":3,\"result\":{\"ok\":true}}\n\n";
    EXPECT_TRUE(AnyCodable::equal(
        MCPService::decodeEventStreamBody(body),
        AnyCodable::Object{
            {"jsonrpc", "2.0"}, {"id", 3}, {"result", AnyCodable::Object{{"ok", true}}}}));

    EXPECT_THROW(MCPService::decodeEventStreamBody("data: {\"jsonrpc\":\n\ndata: {\"method\":1}\n"),
                 nlohmann::json::parse_error);
    for (const QByteArray &noReply :
         {QByteArray("event: message\n\n"), QByteArray("data: [1,\ndata: 2]\n"),
          QByteArray("data: {\"method\":\"notifications/progress\"}\n\n"),
          QByteArray("data: {\"result\":\"caf\xc3\n")}) {
        try {
            MCPService::decodeEventStreamBody(noReply);
            ADD_FAILURE() << "no failure for " << noReply.toStdString();
        } catch (const MCPError &error) {
            EXPECT_EQ(error, MCPError::invalidResponse());
        }
    }
}
