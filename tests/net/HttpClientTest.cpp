#include "net/HttpClient.h"

#include "model/SharedInstance.h"
#include "net/TransportError.h"
#include "support/ScriptedHttpServer.h"
#include "support/TaskAwaiting.h"

#include <QNetworkAccessManager>
#include <QTcpServer>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

using Kind = TransportError::Kind;

// The lines that arrived before the end of the body or a failure.
struct Reading
{
    std::vector<std::string> lines;
    std::optional<Kind> failure;
};

QCoro::Task<Reading> readAll(HttpStream &stream)
{
    Reading reading;
    try {
        while (auto line = co_await stream.nextLine())
            reading.lines.push_back(std::move(*line));
    } catch (const TransportError &error) {
        reading.failure = error.kind();
    }
    co_return reading;
}

Reading readBody(const HttpRequest &request)
{
    auto stream = awaitTask(HttpClient::bytes(request));
    return awaitTask(readAll(*stream));
}

template<typename T> std::optional<Kind> kindOf(QCoro::Task<T> task)
{
    const auto failure = failureOf<TransportError>(std::move(task));
    return failure ? std::optional(failure->kind()) : std::nullopt;
}

} // namespace

TEST(HttpClient, ErrorStatusIsAnAnswerWithItsBodyAndHeaders)
{
    ScriptedHttpServer server;
    server.route("GET", "/", ScriptedReply::json(R"({"e":1})", 500));
    const HttpResponse response = awaitTask(HttpClient::data(HttpRequest(server.url())));
    EXPECT_EQ(response.statusCode, 500);
    EXPECT_EQ(response.body, R"({"e":1})");
    EXPECT_EQ(response.header("content-TYPE"), "application/json");
}

// The limit is on silence, not on the whole answer: pauses a tenth of the limit long add up to more
// than the limit. A busy machine only makes the answer longer.
TEST(HttpClient, SlowDripOutlivesTheInactivityLimit)
{
    ScriptedHttpServer server;
    server.route("GET", "/", ScriptedReply::eventStream(QList<QByteArray>(13, "line\n"), 100ms));
    HttpRequest request(server.url());
    request.timeout = 1000ms;
    const Reading reading = readBody(request);
    EXPECT_EQ(reading.failure, std::nullopt);
    EXPECT_EQ(reading.lines.size(), 13U);
}

// Only a body with a length is certain to be seen as cut: Qt 6.4 now and then takes a chunked
// body whose connection closes before the last chunk for a complete one.
TEST(HttpClient, DropInTheMiddleFailsAfterTheCompleteLines)
{
    ScriptedHttpServer server;
    ScriptedReply reply = ScriptedReply::eventStream({"first\nsecond\npart"});
    reply.framing = ScriptedReply::Framing::contentLength;
    reply.dropAfterChunks = true;
    server.route("GET", "/", reply);

    const Reading reading = readBody(HttpRequest(server.url()));
    EXPECT_EQ(reading.lines, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(reading.failure, Kind::connectionLost);
    EXPECT_EQ(kindOf(HttpClient::data(HttpRequest(server.url()))), Kind::connectionLost);
}

TEST(HttpClient, NoAnswerFailsWithItsCause)
{
    ScriptedHttpServer server;
    ScriptedReply silent;
    silent.neverAnswer = true;
    server.route("GET", "/", silent);
    HttpRequest request(server.url());
    request.timeout = 200ms;
    EXPECT_EQ(kindOf(HttpClient::data(request)), Kind::timedOut);

    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const QUrl refused(QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort()));
    closed.close();
    EXPECT_EQ(kindOf(HttpClient::data(HttpRequest(refused))), Kind::cannotConnect);
}

TEST(HttpClient, StopAbortsTheTransferAsCancelled)
{
    ScriptedHttpServer server;
    ScriptedReply open = ScriptedReply::eventStream({"line\n"});
    open.holdOpen = true;
    server.route("GET", "/", open);
    server.hold();

    // Stopped before it starts: never handed to Qt, which leaks a request aborted before its HTTP
    // thread takes it up (LeakSanitizer sees it in the sanitizer build).
    std::stop_source before;
    before.request_stop();
    EXPECT_EQ(kindOf(HttpClient::data(HttpRequest(server.url()), before.get_token())),
              Kind::cancelled);

    std::stop_source waiting;
    auto exchange = HttpClient::data(HttpRequest(server.url()), waiting.get_token());
    ASSERT_TRUE(server.waitForRequests(1));
    waiting.request_stop();
    EXPECT_EQ(kindOf(std::move(exchange)), Kind::cancelled);
    server.release();

    std::stop_source reading;
    auto stream = awaitTask(HttpClient::bytes(HttpRequest(server.url()), reading.get_token()));
    EXPECT_EQ(awaitTask(stream->nextLine()), "line");
    auto rest = readAll(*stream);
    reading.request_stop();
    EXPECT_EQ(awaitTask(std::move(rest)).failure, Kind::cancelled);
    EXPECT_EQ(server.requests().size(), 2);
}

TEST(HttpClient, ATransferOutlivedByItsNetworkManagerFailsAsCancelled)
{
    ScriptedHttpServer server;
    server.hold();
    auto network = std::make_unique<QNetworkAccessManager>();
    const SharedInstance<QNetworkAccessManager> registration(*network);
    auto exchange = HttpClient::data(HttpRequest(server.url()));
    ASSERT_TRUE(server.waitForRequests(1));
    network.reset();
    EXPECT_EQ(kindOf(std::move(exchange)), Kind::cancelled);
}

TEST(HttpClient, HeaderValueWithALineBreakIsNeverSent)
{
    ScriptedHttpServer server;
    server.route("GET", "/", ScriptedReply::text("reached"));
    for (const QByteArray &value :
         {QByteArray("user\r\nX-Admin: 1"), QByteArray("a\nb"), QByteArray("a\0b", 3)}) {
        HttpRequest request(server.url());
        request.setHeader("Authorization", "Bearer " + value);
        EXPECT_EQ(kindOf(HttpClient::bytes(request)), Kind::other);
    }
    EXPECT_TRUE(server.requests().isEmpty());
}

// A redirect could carry the Authorization header, and for 307 and 308 the body, to another host.
TEST(HttpClient, RedirectIsAnAnswerAndNothingReachesItsTarget)
{
    ScriptedHttpServer elsewhere;
    ScriptedHttpServer server;
    for (const int status : {301, 302, 303, 307, 308}) {
        ScriptedReply redirect = ScriptedReply::text("moved", status);
        redirect.headers.append({"Location", elsewhere.url("/taken").toEncoded()});
        server.route("GET", "/", redirect);
        server.route("POST", "/", redirect);

        HttpRequest get(server.url());
        get.setHeader("Authorization", "Bearer user_01");
        EXPECT_EQ(awaitTask(HttpClient::data(get)).statusCode, status);
        HttpRequest post(server.url());
        post.method = "POST";
        post.body = R"({"client_secret":"sk_1"})";
        EXPECT_EQ(awaitTask(HttpClient::data(post)).statusCode, status);
        EXPECT_EQ(awaitTask(HttpClient::bytes(post))->statusCode(), status);
    }
    EXPECT_EQ(server.requests().size(), 15);
    EXPECT_TRUE(elsewhere.requests().isEmpty());
}
