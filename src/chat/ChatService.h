#pragma once

#include "Configuration.h"
#include "model/CurrentUserProvider.h"
#include "model/Lifetime.h"
#include "model/Message.h"
#include "model/ToolCall.h"
#include "net/HttpRequest.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

struct SSEParsedEvent;

// Sends one user turn to the backend's streaming chat endpoint and turns the events of the
// answer into calls back to the caller, while keeping the reply's progress observable: whether
// it streams, its text so far and the tools it started. Belongs to the main thread; every
// callback runs there.
//
// At most one reply streams: a new send cancels the last. A cancelled reply never reports an
// error and makes no further content, tool or turn callback; it calls onComplete only when its
// events were already being read. A reply that would hold more than maxReplyLength, start more
// than maxToolCalls tools or make more than maxTurns turn messages fails, keeping what it had: a
// server cannot grow one without bound.
class ChatService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString vessaAPIBaseURL READ vessaAPIBaseURL CONSTANT)
    Q_PROPERTY(bool isStreaming READ isStreaming NOTIFY isStreamingChanged)
    Q_PROPERTY(QString streamingContent READ streamingContent NOTIFY streamingContentChanged)
    Q_PROPERTY(
        QVariantList pendingToolCalls READ pendingToolCallValues NOTIFY pendingToolCallsChanged)
    Q_PROPERTY(bool hasCurrentTask READ hasCurrentTask NOTIFY currentTaskChanged)
    Q_PROPERTY(const CurrentUserProvider *authService READ authService NOTIFY authServiceChanged)

public:
    using ContentDeltaHandler = std::function<void(const QString &delta)>;
    using ToolCallHandler = std::function<void(const ToolCall &toolCall)>;
    using ToolResultHandler =
        std::function<void(const QString &toolId, const QString &result, bool isError)>;
    // The finished assistant message, owned by the callee from here on.
    using TurnCompleteHandler = std::function<void(std::unique_ptr<Message> message)>;
    using CompleteHandler = std::function<void()>;
    // The error's what() is its user-facing description.
    using ErrorHandler = std::function<void(const std::exception &error)>;

    // What a reply holds: its text and its tools' results in UTF-16 code units, and its tools'
    // inputs in bytes of JSON. Each turn message holds a copy of the reply as it was then, and
    // counts again; until more arrives, the last one shares what it holds with the reply.
    static constexpr qsizetype maxReplyLength = 8 * 1024 * 1024;
    static constexpr qsizetype maxToolCalls = 1000;
    static constexpr int maxTurns = 100;

    static QString defaultEndpoint();

    explicit ChatService(QString endpoint = defaultEndpoint(),
                         QString apiToken = QString::fromLatin1(Configuration::apiToken),
                         std::chrono::milliseconds timeout = HttpRequest::defaultTimeout,
                         QObject *parent = nullptr);
    // A reply still running ends without any further callback.
    ~ChatService() override;

    const QString &vessaAPIBaseURL() const { return m_endpoint; }
    const QString &apiToken() const { return m_apiToken; }
    bool isStreaming() const { return m_isStreaming; }
    const QString &streamingContent() const { return m_streamingContent; }
    const QList<ToolCall> &pendingToolCalls() const { return m_pendingToolCalls; }
    // ToolCall gadgets for QML.
    QVariantList pendingToolCallValues() const;
    // Whether the handle of the last send is kept; cancelStream drops it.
    bool hasCurrentTask() const { return m_currentTask != nullptr; }
    const CurrentUserProvider *authService() const { return m_authService; }

    // The user's identifier goes with every request once a user is signed in. The provider must
    // outlive this service.
    void setAuthService(const CurrentUserProvider *authService);

    // Starts a reply and returns at once. Empty callbacks are skipped.
    void sendMessage(const QString &text, const std::optional<QByteArray> &imageData,
                     ContentDeltaHandler onContentDelta, ToolCallHandler onToolCall,
                     ToolResultHandler onToolResult, TurnCompleteHandler onTurnComplete,
                     CompleteHandler onComplete, ErrorHandler onError);
    Q_INVOKABLE void cancelStream();

    QCoro::Task<> configure(QString workosUserId);

signals:
    void isStreamingChanged();
    void streamingContentChanged();
    void pendingToolCallsChanged();
    void currentTaskChanged();
    void authServiceChanged();

private:
    struct Send;

    // Ends a send that is no longer current; one whose events were being read calls onComplete.
    static void end(std::unique_ptr<Send> send);
    QCoro::Task<> runSend(Send &send, QString text, std::optional<QByteArray> imageData);
    // Ends at the end of the body; throws for every failure before that and for a body cut short.
    // Once the send has ended, it returns at its next step without touching anything.
    QCoro::Task<> stream(Send &send, nlohmann::ordered_json messages);
    HttpRequest makeRequest(const nlohmann::ordered_json &messages) const;
    void handle(const SSEParsedEvent &event, Send &send);

    // Stops short once the send has ended: an observer may end it, or delete the service.
    void startReply(const Lifetime::Guard &alive);
    void setIsStreaming(bool isStreaming);
    void appendStreamingContent(const QString &delta);

    const QString m_endpoint;
    const QString m_apiToken;
    const std::chrono::milliseconds m_timeout;
    bool m_isStreaming = false;
    QString m_streamingContent;
    QList<ToolCall> m_pendingToolCalls;
    // The last send: destroying it cancels that send and aborts its transfer.
    std::unique_ptr<Send> m_currentTask;
    const CurrentUserProvider *m_authService = nullptr;
};
