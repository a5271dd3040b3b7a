#include "mcp/MCPService.h"

#include "mcp/MCPError.h"
#include "net/TransportError.h"
#include "support/ScriptedHttpServer.h"
#include "support/TaskAwaiting.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTimer>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <stop_token>
#include <string>

using namespace std::chrono_literals;

namespace {

template<typename T> MCPError mcpErrorOf(QCoro::Task<T> task)
{
    try {
        awaitTask(std::move(task));
    } catch (const MCPError &error) {
        return error;
    }
    ADD_FAILURE() << "the operation did not fail with MCPError";
    return MCPError::invalidResponse();
}

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

    testing::internal::CaptureStdout();
    const auto tools = awaitTask(service.listTools());
    const std::string log = testing::internal::GetCapturedStdout();
    awaitTask(service.listTools());

    ASSERT_EQ(tools.size(), 2U);
    EXPECT_EQ(tools[0], (MCPTool{"echo", "Echoes", AnyCodable::Object{{"type", "object"}}}));
    EXPECT_EQ(tools[1], (MCPTool{"get-sum", std::nullopt, std::nullopt}));
    EXPECT_EQ(service.sessionId(), "session-1");
    EXPECT_EQ(log, "[MCPService] Session initialized: session-1...\n"
                   "[MCPService] tools/list response status: 200\n"
                   "[MCPService] Content-Type: application/json\n"
                   "[MCPService] Raw response (" +
                       std::to_string(sizeof(twoTools) - 1) + " bytes): " + twoTools + "\n");

    const auto &requests = server.requests();
    ASSERT_EQ(requests.size(), 4);
    for (const auto &request : requests) {
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.target, "/mcp");
        EXPECT_EQ(request.header("content-type"), "application/json");
        EXPECT_EQ(request.header("accept"), "application/json, text/event-stream");
        EXPECT_EQ(request.header("authorization"), "Bearer user-1");
    }
    EXPECT_EQ(requests[0].header("mcp-session-id"), "");
    EXPECT_EQ(requests[1].body, R"({"jsonrpc":"2.0","method":"notifications/initialized"})");
    EXPECT_EQ(requests[1].header("mcp-session-id"), "session-1");
    EXPECT_EQ(requests[2].header("mcp-session-id"), "session-1");
    EXPECT_EQ(requests[3].header("mcp-session-id"), "session-1");
    const auto listing = nlohmann::ordered_json::parse(requests[2].body.toStdString());
    EXPECT_EQ(listing.size(), 3U);
    EXPECT_EQ(listing["method"], "tools/list");
}

class MCPServiceSessionErrorTest : public MCPServiceTest, public ::testing::WithParamInterface<int>
{};

TEST_P(MCPServiceSessionErrorTest, IsRetriedWithANewSessionThenFailsOnTheThirdAttempt)
{
    const int status = GetParam();
    const QByteArray code = QByteArray::number(status);
    methodReplies = {ScriptedReply::text("gone", status), ScriptedReply::text("gone", status),
                     ScriptedReply::text("gone", status)};

    testing::internal::CaptureStdout();
    const MCPError error = mcpErrorOf(service.callTool("echo", {{"message", "hi"}}));
    const std::string log = testing::internal::GetCapturedStdout();

    EXPECT_EQ(error, MCPError::requestFailed(status));
    EXPECT_EQ(error.what(), "MCP request failed with status " + code.toStdString());
    const std::string s = code.toStdString();
    EXPECT_EQ(log, "[MCPService] Session initialized: session-1...\n"
                   "[MCPService] tools/call response status: " +
                       s +
                       "\n"
                       "[MCPService] Session error (" +
                       s +
                       "), retrying in 1.0s (attempt 1/2)\n"
                       "[MCPService] Session initialized: session-2...\n"
                       "[MCPService] tools/call response status: " +
                       s +
                       "\n"
                       "[MCPService] Session error (" +
                       s +
                       "), retrying in 2.0s (attempt 2/2)\n"
                       "[MCPService] Session initialized: session-3...\n"
                       "[MCPService] tools/call response status: " +
                       s +
                       "\n"
                       "[MCPService] Error response: gone\n");
    const auto calls = requestsFor("tools/call");
    ASSERT_EQ(calls.size(), 3);
    EXPECT_EQ(calls[0].header("mcp-session-id"), "session-1");
    EXPECT_EQ(calls[2].header("mcp-session-id"), "session-3");
    EXPECT_EQ(calls[2].body.mid(calls[2].body.indexOf("\"method\"")),
              R"("method":"tools/call","params":{"name":"echo","arguments":{"message":"hi"}}})");
}

INSTANTIATE_TEST_SUITE_P(Statuses, MCPServiceSessionErrorTest, ::testing::Values(404, 400));

TEST_F(MCPServiceTest, ServerErrorIsNotRetried)
{
    methodReplies = {ScriptedReply::text("boom", 500)};
    EXPECT_EQ(mcpErrorOf(service.listTools()), MCPError::requestFailed(500));
    EXPECT_EQ(requestsFor("tools/list").size(), 1);
}

TEST_F(MCPServiceTest, TransportFailureIsRetriedThenReportedAsNetworkError)
{
    methodReplies = {dropped(), dropped(), dropped()};

    testing::internal::CaptureStdout();
    const MCPError error = mcpErrorOf(service.listTools());
    const std::string log = testing::internal::GetCapturedStdout();

    ASSERT_EQ(error.errorCase(), MCPError::Case::networkError);
    const std::string description =
        std::string(error.what()).substr(std::string("Network error: ").size());
    EXPECT_FALSE(description.empty());
    EXPECT_EQ(log, "[MCPService] Session initialized: session-1...\n"
                   "[MCPService] Network error, retrying in 1.0s (attempt 1/2): " +
                       description +
                       "\n"
                       "[MCPService] Session initialized: session-2...\n"
                       "[MCPService] Network error, retrying in 2.0s (attempt 2/2): " +
                       description +
                       "\n"
                       "[MCPService] Session initialized: session-3...\n");
    EXPECT_EQ(requestsFor("tools/list").size(), 3);
}

TEST_F(MCPServiceTest, AFailedInitializationIsReportedAndNotRetried)
{
    server.route("POST", "/mcp", ScriptedReply::json("{}", 503));
    EXPECT_EQ(mcpErrorOf(service.listTools()), MCPError::initializationFailed());
    EXPECT_EQ(server.requests().size(), 1);

    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();
    MCPService unreachable(QUrl(QStringLiteral("http://127.0.0.1:%1/mcp").arg(port)), 5ms);
    unreachable.configure("user-1");
    EXPECT_THROW(awaitTask(unreachable.listTools()), TransportError);
}

TEST_F(MCPServiceTest, InitializationSucceedsWhenTheInitializedNotificationFails)
{
    initializedReply = dropped();
    methodReplies = {ScriptedReply::json(twoTools)};
    EXPECT_EQ(awaitTask(service.listTools()).size(), 2U);

    initializedReply = withStatus(500);
    service.resetSession();
    methodReplies = {ScriptedReply::json(twoTools)};
    EXPECT_EQ(awaitTask(service.listTools()).size(), 2U);
    EXPECT_EQ(service.sessionId(), "session-2");
}

TEST_F(MCPServiceTest, AnInitializationWithoutSessionIdKeepsASessionWithoutIdentifier)
{
    issueSessionIds = false;
    methodReplies = {ScriptedReply::json(twoTools), ScriptedReply::json(twoTools)};

    testing::internal::CaptureStdout();
    awaitTask(service.listTools());
    const std::string log = testing::internal::GetCapturedStdout();
    awaitTask(service.listTools());

    EXPECT_EQ(log.substr(0, log.find('\n')), "[MCPService] Session initialized: (stateless)...");
    EXPECT_TRUE(service.hasSession());
    EXPECT_TRUE(service.sessionId().isEmpty());
    EXPECT_EQ(sessionsOpened, 1);
    for (const auto &request : server.requests())
        EXPECT_FALSE(request.header("mcp-session-id").size()) << request.body.toStdString();
}

TEST_F(MCPServiceTest, EmptyPlainBodyIsAnEmptyResult)
{
    methodReplies = {ScriptedReply::json(""), ScriptedReply::json("")};

    testing::internal::CaptureStdout();
    EXPECT_TRUE(awaitTask(service.listTools()).empty());
    const std::string log = testing::internal::GetCapturedStdout();
    const auto result = awaitTask(service.callTool("echo", {}));

    EXPECT_EQ(result, MCPToolResult{});
    EXPECT_NE(log.find("[MCPService] Raw response (0 bytes): \n"
                       "[MCPService] Empty response, returning empty result\n"),
              std::string::npos)
        << log;
}

TEST_F(MCPServiceTest, EventStreamWithACharsetIsReadAsAStream)
{
    ScriptedReply reply = ScriptedReply::eventStream(
        {"event: message\nid: 9\n", "data: {\"jsonrpc\":\"2.0\",\"id\":1,\n",
         "data: \"result\":{\"tools\":[{\"name\":\"x\"}]}}\n\n"});
    reply.headers = {{"Content-Type", "text/event-stream; charset=utf-8"}};
    methodReplies = {reply};

    testing::internal::CaptureStdout();
    const auto tools = awaitTask(service.listTools());
    const std::string log = testing::internal::GetCapturedStdout();

    ASSERT_EQ(tools.size(), 1U);
    EXPECT_EQ(tools[0].name, "x");
    EXPECT_NE(log.find("[MCPService] Content-Type: text/event-stream; charset=utf-8\n"),
              std::string::npos);
    EXPECT_NE(log.find("[MCPService] Extracted JSON data length: 58\n"), std::string::npos) << log;
}

TEST_F(MCPServiceTest, MalformedOrNonObjectJSONBodies)
{
    methodReplies = {ScriptedReply::json("{\"result\": tru"), ScriptedReply::json("[1,2]")};
    EXPECT_THROW(awaitTask(service.listTools()), nlohmann::json::parse_error);
    EXPECT_EQ(mcpErrorOf(service.listTools()), MCPError::invalidResponse());
}

TEST_F(MCPServiceTest, AnErrorObjectInAToolCallReplyIsAnErrorResult)
{
    methodReplies = {ScriptedReply::json(
        R"({"jsonrpc":"2.0","id":1,"error":{"code":-32602,"message":"Tool nope not found"}})")};
    const auto result = awaitTask(service.callTool("nope", {}));
    EXPECT_TRUE(result.isError);
    EXPECT_EQ(result.text(), "Tool error: Tool nope not found");
    EXPECT_FALSE(result.structuredContent);
}

TEST_F(MCPServiceTest, NothingIsSentBeforeConfiguration)
{
    MCPService unconfigured(server.url("/mcp"), 5ms);
    EXPECT_EQ(mcpErrorOf(unconfigured.listTools()), MCPError::notConfigured());
    EXPECT_EQ(mcpErrorOf(unconfigured.callTool("echo", {})), MCPError::notConfigured());
    EXPECT_EQ(mcpErrorOf(unconfigured.sendRequest("tools/list", std::nullopt)),
              MCPError::notConfigured());
    EXPECT_EQ(mcpErrorOf(unconfigured.initializeSession()), MCPError::notConfigured());
    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_TRUE(unconfigured.userId().isNull());
}

TEST_F(MCPServiceTest, ConfigureAndResetDropTheSessionAndPublishOnlyChanges)
{
    awaitTask(service.ensureSession());
    QSignalSpy userChanges(&service, &MCPService::userIdChanged);
    QSignalSpy sessionChanges(&service, &MCPService::sessionIdChanged);

    service.configure("user-1");
    EXPECT_EQ(userChanges.count(), 0);
    EXPECT_EQ(sessionChanges.count(), 1);
    EXPECT_FALSE(service.hasSession());

    testing::internal::CaptureStdout();
    service.resetSession();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[MCPService] Session reset - will re-initialize on next request\n");
    EXPECT_EQ(sessionChanges.count(), 1);

    service.configure("user-2");
    EXPECT_EQ(userChanges.count(), 1);
    EXPECT_EQ(awaitTask(service.ensureSession()), "session-2");
    EXPECT_EQ(server.requests().back().header("authorization"), "Bearer user-2");
}

TEST_F(MCPServiceTest, AStopDuringTheRetryWaitEndsWithTheCancellation)
{
    MCPService patient(server.url("/mcp"), 10s);
    patient.configure("user-1");
    methodReplies = {ScriptedReply::text("gone", 404)};
    std::stop_source stop;
    QTimer::singleShot(100ms, [&stop] { stop.request_stop(); });

    QElapsedTimer elapsed;
    elapsed.start();
    testing::internal::CaptureStdout();
    try {
        awaitTask(patient.listTools(stop.get_token()));
        ADD_FAILURE() << "the request was not cancelled";
    } catch (const TransportError &error) {
        EXPECT_EQ(error.kind(), TransportError::Kind::cancelled);
    }
    testing::internal::GetCapturedStdout();
    EXPECT_LT(elapsed.elapsed(), 5000);
    EXPECT_EQ(requestsFor("tools/list").size(), 1);
}

TEST(MCPServiceEventStream, ReturnsTheEventThatHoldsTheReply)
{
    const QByteArray body =
        "event: message\ndata: {\"jsonrpc\":\"2.0\",\"method\":\"notifications/message\"}\n\n"
        "event: message\ndata: {not json\n\n"
        "event: message\ndata: {\"jsonrpc\":\"2.0\",\"id\":3,\"result\":{\"ok\":true}}\n\n";
    testing::internal::CaptureStdout();
    const auto reply = MCPService::decodeEventStreamBody(body);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(AnyCodable::equal(
        reply, AnyCodable::Object{
                   {"jsonrpc", "2.0"}, {"id", 3}, {"result", AnyCodable::Object{{"ok", true}}}}));

    testing::internal::CaptureStdout();
    EXPECT_THROW(MCPService::decodeEventStreamBody("data: {\"jsonrpc\":\n\ndata: {\"method\":1}\n"),
                 nlohmann::json::parse_error);
    testing::internal::GetCapturedStdout();
}

TEST(MCPServiceEventStream, WithoutAReplyIsAnInvalidResponse)
{
    const std::pair<QByteArray, std::string> cases[] = {
        {"event: message\n\n",
         "[MCPService] Extracted JSON data length: 0\n[MCPService] Failed to parse JSON: \n"},
        {"data: [1,\ndata: 2]\n",
         "[MCPService] Extracted JSON data length: 5\n[MCPService] Failed to parse JSON: [1,2]\n"},
        {"data: {\"method\":\"notifications/progress\"}\n\n",
         "[MCPService] Extracted JSON data length: 35\n"
         "[MCPService] Failed to parse JSON: {\"method\":\"notifications/progress\"}\n"},
        {"data: {\"result\":\"caf\xc3\n", ""},
        // Lengths and cuts count characters as read: "e" with a combining accent is one.
        {"data: [\"" + QByteArray("e\u0301").repeated(250) + "\"]",
         "[MCPService] Extracted JSON data length: 254\n[MCPService] Failed to parse JSON: [\"" +
             QByteArray("e\u0301").repeated(198).toStdString() + "\n"},
    };
    for (const auto &[body, log] : cases) {
        testing::internal::CaptureStdout();
        try {
            MCPService::decodeEventStreamBody(body);
            ADD_FAILURE() << "no failure for " << body.toStdString();
        } catch (const MCPError &error) {
            EXPECT_EQ(error, MCPError::invalidResponse());
        }
        EXPECT_EQ(testing::internal::GetCapturedStdout(), log) << body.toStdString();
    }
}
