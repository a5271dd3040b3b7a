#include "mcp/MCPService.h"

#include "mcp/MCPError.h"
#include "mcp/MCPReplyBody.h"
#include "mcp/MCPRequestBuilder.h"
#include "mcp/MCPResponseParser.h"
#include "model/Excerpt.h"
#include "model/Graphemes.h"
#include "model/Log.h"
#include "model/SharedInstance.h"
#include "model/Utf8Text.h"
#include "net/HttpClient.h"
#include "net/HttpRequest.h"
#include "net/HttpResponse.h"
#include "net/TransportError.h"

#include <QCoroTimer>
#include <QTimer>
#include <cmath>
#include <exception>
#include <utility>

namespace {

void log(const QString &message)
{
    Log::write(QStringLiteral("[MCPService] ") + message);
}

// 2 to the power of the retry count, in units of the retry delay: "1.0", then "2.0".
double retryFactor(int retryCount)
{
    return std::ldexp(1.0, retryCount);
}

QString retryDelayText(int retryCount)
{
    return QString::number(retryFactor(retryCount), 'f', 1);
}

bool isCancellation(const TransportError &error)
{
    return error.kind() == TransportError::Kind::cancelled;
}

TransportError cancellation()
{
    return {TransportError::Kind::cancelled, "The request was cancelled."};
}

} // namespace

MCPService &MCPService::shared()
{
    return SharedInstance<MCPService>::get();
}

MCPService::MCPService(QUrl url, std::chrono::milliseconds delayUnit, QObject *parent)
    : QObject(parent)
    , serverURL(std::move(url))
    , retryDelayUnit(delayUnit)
{}

MCPService::~MCPService()
{
    lifetime.end();
}

void MCPService::configure(const QString &userId)
{
    setUserId(userId);
    sessionStart.reset();
    setSessionId(std::nullopt);
}

void MCPService::resetSession()
{
    sessionStart.reset();
    setSessionId(std::nullopt);
    log(QStringLiteral("Session reset - will re-initialize on next request"));
}

QCoro::Task<std::vector<MCPTool>> MCPService::listTools(std::stop_token stop)
{
    checkConfigured();
    const auto reply = co_await sendRequest("tools/list", std::nullopt, 0, stop);
    std::vector<MCPTool> tools;
    for (const auto &object : MCPResponseParser::extractTools(reply)) {
        if (auto tool = MCPTool::fromJSON(object))
            tools.push_back(std::move(*tool));
    }
    co_return tools;
}

QCoro::Task<MCPToolResult> MCPService::callTool(std::string name, AnyCodable::Object arguments,
                                                std::stop_token stop)
{
    checkConfigured();
    const auto reply = co_await sendRequest(
        "tools/call", MCPRequestBuilder::buildCallToolParams(name, std::move(arguments)), 0, stop);
    // A tool that failed on the server is a result to show, not a failure of the exchange.
    if (const auto message = MCPResponseParser::extractError(reply))
        co_return MCPToolResult{{{"text", "Tool error: " + *message}}, true, std::nullopt};
    if (const auto result = MCPResponseParser::extractResult(reply))
        co_return MCPToolResult::fromJSON(*result);
    co_return MCPToolResult{};
}

QCoro::Task<AnyCodable::Object> MCPService::sendRequest(std::string method,
                                                        std::optional<AnyCodable::Object> params,
                                                        int retryCount, std::stop_token stop)
{
    checkConfigured();
    const Lifetime::Guard alive = lifetime.guard();
    const QString session = co_await ensureSession(stop);
    if (!alive)
        throw cancellation();
    const HttpRequest request =
        makeRequest(MCPRequestBuilder::buildRequest(method, params), session, methodTimeout);

    std::optional<HttpResponse> response;
    QString failure;
    try {
        response = co_await HttpClient::data(request, stop);
    } catch (const TransportError &error) {
        if (isCancellation(error))
            throw;
        if (retryCount > 1)
            throw MCPError::networkError(error.what());
        failure = QString::fromUtf8(error.what());
    }
    if (!alive)
        throw cancellation();
    if (!response) {
        log(QStringLiteral("Network error, retrying in %1s (attempt %2/2): %3")
                .arg(retryDelayText(retryCount), QString::number(retryCount + 1), failure));
        co_return co_await retry(std::move(method), std::move(params), retryCount, session, stop);
    }

    if (!response->statusCode)
        throw MCPError::invalidResponse();
    const int status = *response->statusCode;
    log(QStringLiteral("%1 response status: %2")
            .arg(QString::fromStdString(method), QString::number(status)));

    // A server that restarted or expired the session answers 404 (or 400): open a new one.
    if ((status == 404 || status == 400) && retryCount <= 1) {
        log(QStringLiteral("Session error (%1), retrying in %2s (attempt %3/2)")
                .arg(QString::number(status), retryDelayText(retryCount),
                     QString::number(retryCount + 1)));
        co_return co_await retry(std::move(method), std::move(params), retryCount, session, stop);
    }
    if (status == 200)
        co_return readReply(*response);
    if (const auto text = Utf8Text::decoded(response->body))
        log(QStringLiteral("Error response: ") + Excerpt::of(*text));
    throw MCPError::requestFailed(status);
}

QCoro::Task<QString> MCPService::ensureSession(std::stop_token stop)
{
    // A copy: QCoro's return_value moves from any non-const lvalue it is given, which would
    // empty the member.
    if (m_sessionId)
        co_return QString(*m_sessionId);
    const Lifetime::Guard alive = lifetime.guard();
    if (!sessionStart) {
        sessionStart = std::make_shared<OneShot<QString>>();
        openSession(sessionStart);
    }
    // The opening serves every request waiting on it, so it runs to its end whoever stops
    // waiting; a request whose own stop came meanwhile leaves once it has.
    const std::shared_ptr<OneShot<QString>> start = sessionStart;
    const QString identifier = co_await *start;
    if (!alive || stop.stop_requested())
        throw cancellation();
    co_return identifier;
}

QCoro::Task<> MCPService::openSession(std::shared_ptr<OneShot<QString>> start)
{
    const Lifetime::Guard alive = lifetime.guard();
    try {
        const QString identifier = co_await initializeSession(lifetime.token());
        // A configure or reset meanwhile has dropped this opening: it serves its waiters only.
        if (alive && sessionStart == start) {
            sessionStart.reset();
            setSessionId(identifier);
        }
        start->succeed(identifier);
    } catch (...) {
        if (alive && sessionStart == start)
            sessionStart.reset();
        start->fail(std::current_exception());
    }
}

QCoro::Task<QString> MCPService::initializeSession(std::stop_token stop)
{
    checkConfigured();
    const Lifetime::Guard alive = lifetime.guard();
    const HttpResponse response = co_await HttpClient::data(
        makeRequest(MCPRequestBuilder::buildInitializeRequest(), QString(), initializationTimeout),
        stop);
    if (!alive)
        throw cancellation();
    if (response.statusCode != 200)
        throw MCPError::initializationFailed();
    // A server that keeps no state sends no identifier; the session then goes without one.
    const QString identifier = QString::fromUtf8(response.header("Mcp-Session-Id"));
    co_await sendInitializedNotification(identifier, stop);
    const QString shown = identifier.isEmpty() ? QStringLiteral("(stateless)")
                                               : Graphemes::prefix(identifier, 20).toString();
    log(QStringLiteral("Session initialized: ") + shown + QStringLiteral("..."));
    co_return identifier;
}

AnyCodable::Object MCPService::decodeEventStreamBody(const QByteArray &body)
{
    return MCPReplyBody::decodeEventStream(body);
}

QString MCPService::checkConfigured() const
{
    if (!m_userId)
        throw MCPError::notConfigured();
    return *m_userId;
}

void MCPService::setUserId(std::optional<QString> userId)
{
    if (m_userId == userId)
        return;
    m_userId = std::move(userId);
    emit userIdChanged();
}

void MCPService::setSessionId(std::optional<QString> sessionId)
{
    if (m_sessionId == sessionId)
        return;
    m_sessionId = std::move(sessionId);
    emit sessionIdChanged();
}

HttpRequest MCPService::makeRequest(const AnyCodable::Object &message, const QString &session,
                                    std::chrono::milliseconds timeout) const
{
    HttpRequest request(serverURL);
    request.method = "POST";
    request.setHeader("Content-Type", "application/json");
    request.setHeader("Accept", "application/json, text/event-stream");
    request.setHeader("Authorization", "Bearer " + checkConfigured().toUtf8());
    if (!session.isEmpty())
        request.setHeader("Mcp-Session-Id", session.toUtf8());
    request.body = QByteArray::fromStdString(AnyCodable(message).encode().dump());
    request.timeout = timeout;
    return request;
}

QCoro::Task<> MCPService::sendInitializedNotification(QString session, std::stop_token stop)
{
    // The handshake counts as done whatever the server makes of the notification.
    try {
        co_await HttpClient::data(makeRequest(MCPRequestBuilder::buildInitializedNotification(),
                                              session, initializationTimeout),
                                  stop);
    } catch (const TransportError &error) {
        if (isCancellation(error))
            throw;
    }
}

QCoro::Task<AnyCodable::Object> MCPService::retry(std::string method,
                                                  std::optional<AnyCodable::Object> params,
                                                  int retryCount, QString failedSession,
                                                  std::stop_token stop)
{
    // Another request may have opened a new session meanwhile; that one has not failed.
    if (m_sessionId == failedSession)
        setSessionId(std::nullopt);
    const Lifetime::Guard alive = lifetime.guard();
    co_await waitBeforeRetry(retryCount, stop);
    if (!alive)
        throw cancellation();
    co_return co_await sendRequest(std::move(method), std::move(params), retryCount + 1, stop);
}

QCoro::Task<> MCPService::waitBeforeRetry(int retryCount, std::stop_token stop)
{
    const auto delay =
        std::chrono::duration<double, std::milli>(retryDelayUnit) * retryFactor(retryCount);
    QTimer timer;
    timer.setSingleShot(true);
    timer.start(std::chrono::duration_cast<std::chrono::milliseconds>(delay));
    // A stop ends the wait at once (the timer fires on the next turn of the event loop), and
    // the check below turns it into the cancellation.
    const std::stop_callback onStop(stop, [&timer] { timer.start(0); });
    co_await timer;
    if (stop.stop_requested())
        throw cancellation();
}

AnyCodable::Object MCPService::readReply(const HttpResponse &response)
{
    return MCPReplyBody::read(response.header("Content-Type"), response.body);
}
