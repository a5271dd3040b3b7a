#pragma once

#include "Configuration.h"
#include "mcp/MCPTool.h"
#include "mcp/MCPToolResult.h"
#include "model/AnyCodable.h"
#include "model/Lifetime.h"
#include "model/OneShot.h"

#include <QByteArray>
#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QUrl>
#include <chrono>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

struct HttpRequest;
struct HttpResponse;

// The client side of the Model Context Protocol over streamable HTTP: one session with one MCP
// server, its tool list, and tool calls. Every message is a POST of one JSON-RPC object to the
// server URL as given. A session is opened on first use and reused until it is dropped (configure,
// resetSession, or before each retry of a failed request).
//
// Runs on the main thread. Operations fail with MCPError, with the transport's TransportError
// (a failed initialization, a cancellation), or with nlohmann's parse_error for a reply that is
// not JSON. A stop requested on an operation's token cancels it, also during a retry wait.
//
// Requests may run concurrently: those that find no session share one initialization, and a
// retry drops only the session that failed it, never one that another request opened since.
class MCPService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QUrl mcpServerURL READ mcpServerURL CONSTANT)
    Q_PROPERTY(QString userId READ userId NOTIFY userIdChanged)
    Q_PROPERTY(QString sessionId READ sessionId NOTIFY sessionIdChanged)
    Q_PROPERTY(bool hasSession READ hasSession NOTIFY sessionIdChanged)

public:
    static constexpr std::chrono::milliseconds initializationTimeout{60'000};
    static constexpr std::chrono::milliseconds methodTimeout{30'000};

    // The instance the application's owner made.
    static MCPService &shared();

    // A failed request is retried after one retryDelayUnit, then after two. The retry log lines
    // state the delay in these units, which are seconds in production.
    explicit MCPService(QUrl serverURL = QUrl(QString::fromUtf8(Configuration::mcpUrl)),
                        std::chrono::milliseconds retryDelayUnit = std::chrono::seconds(1),
                        QObject *parent = nullptr);
    ~MCPService() override;

    QUrl mcpServerURL() const { return serverURL; }
    // A null string until configure() is called.
    QString userId() const { return m_userId.value_or(QString()); }
    // A null string while no session is held. A server that keeps no state opens sessions
    // without an identifier: then the session is held and its identifier is empty.
    QString sessionId() const { return m_sessionId.value_or(QString()); }
    bool hasSession() const { return m_sessionId.has_value(); }

    // Sets the user, whose identifier is also the bearer credential, and drops any session.
    void configure(const QString &userId);
    void resetSession();

    QCoro::Task<std::vector<MCPTool>> listTools(std::stop_token stop = {});
    QCoro::Task<MCPToolResult> callTool(std::string name, AnyCodable::Object arguments,
                                        std::stop_token stop = {});

    // The one JSON-RPC exchange under listTools and callTool, with its retries; returns the reply.
    QCoro::Task<AnyCodable::Object> sendRequest(std::string method,
                                                std::optional<AnyCodable::Object> params,
                                                int retryCount = 0, std::stop_token stop = {});
    // The identifier of the session held, opening one when none is (or joining the opening that
    // is already under way).
    QCoro::Task<QString> ensureSession(std::stop_token stop = {});
    // The handshake: initialize, then the initialized notification. Returns the new identifier.
    QCoro::Task<QString> initializeSession(std::stop_token stop = {});

    // The JSON-RPC reply carried by an event-stream body. Each event is read on its own, and the
    // first whose data is a reply (a "result" or an "error") is returned: notifications may come
    // before it.
    static AnyCodable::Object decodeEventStreamBody(const QByteArray &body);

signals:
    void userIdChanged();
    void sessionIdChanged();

private:
    QString checkConfigured() const;
    void setUserId(std::optional<QString> userId);
    void setSessionId(std::optional<QString> sessionId);

    HttpRequest makeRequest(const AnyCodable::Object &message, const QString &session,
                            std::chrono::milliseconds timeout) const;
    QCoro::Task<> sendInitializedNotification(QString session, std::stop_token stop);
    QCoro::Task<> openSession(std::shared_ptr<OneShot<QString>> start);
    QCoro::Task<AnyCodable::Object> retry(std::string method,
                                          std::optional<AnyCodable::Object> params, int retryCount,
                                          QString failedSession, std::stop_token stop);
    QCoro::Task<> waitBeforeRetry(int retryCount, std::stop_token stop);
    static AnyCodable::Object readReply(const HttpResponse &response);

    QUrl serverURL;
    std::chrono::milliseconds retryDelayUnit;
    std::optional<QString> m_userId;
    std::optional<QString> m_sessionId;
    std::shared_ptr<OneShot<QString>> sessionStart;
    Lifetime lifetime;
};
