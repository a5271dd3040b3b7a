#include "chat/ChatService.h"

#include "chat/ChatError.h"
#include "chat/ChatMessageBuilder.h"
#include "chat/SSEEventParser.h"
#include "chat/SSELineReader.h"
#include "model/AnyCodable.h"
#include "model/Excerpt.h"
#include "model/Graphemes.h"
#include "model/Log.h"
#include "net/HttpClient.h"
#include "net/HttpStream.h"
#include "net/RedactedUrl.h"

#include <QThread>
#include <algorithm>
#include <string>
#include <utility>
#include <variant>

namespace {

// How much of the request body the log shows, in characters.
constexpr qsizetype loggedBodyLength = 500;

template<typename Function, typename... Arguments>
void call(const Function &callback, Arguments &&...arguments)
{
    if (callback)
        callback(std::forward<Arguments>(arguments)...);
}

void report(const std::exception_ptr &failure, const ChatService::ErrorHandler &onError)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception &error) {
        call(onError, error);
    }
}

ToolCall makeToolCall(const SSEEventParser::ToolUseStart &start)
{
    ToolCall toolCall;
    toolCall.id = QString::fromStdString(start.id);
    toolCall.name = QString::fromStdString(start.name);
    for (const auto &[key, value] : start.input.items())
        toolCall.input.emplace(key, AnyCodable::decode(value));
    toolCall.isExecuting = true;
    return toolCall;
}

} // namespace

// One send: its caller's callbacks and how far it has got. It lives until the next send replaces
// it, cancelStream ends it or the service goes; its coroutine holds only a guard of it and leaves
// at its next step once it is gone, so nothing of a send that ended can call back or touch the
// progress state of the one after it.
struct ChatService::Send
{
    struct Callbacks
    {
        ContentDeltaHandler onContentDelta;
        ToolCallHandler onToolCall;
        ToolResultHandler onToolResult;
        TurnCompleteHandler onTurnComplete;
        CompleteHandler onComplete;
        ErrorHandler onError;
    };

    // Shared with each call in progress: a callback may end the send it belongs to.
    std::shared_ptr<const Callbacks> callbacks;
    bool isReadingEvents = false;
    // The size of the reply so far, of the turn messages made of it, and of the last of them, in
    // the units of maxReplyLength.
    qsizetype replySize = 0;
    qsizetype turnsSize = 0;
    qsizetype lastTurnSize = 0;
    int turns = 0;

    // What the reply may still take: the bound less its turn messages and what arrived after the
    // last one.
    qsizetype room() const { return maxReplyLength - (turnsSize + replySize - lastTurnSize); }
    // Stops the transfer when the send goes.
    Lifetime lifetime;
};

QString ChatService::defaultEndpoint()
{
    return QString::fromLatin1(Configuration::apiBase) + QStringLiteral("/api/v1/chat/stream");
}

ChatService::ChatService(QString endpoint, QString apiToken, std::chrono::milliseconds timeout,
                         QObject *parent)
    : QObject(parent)
    , m_endpoint(std::move(endpoint))
    , m_apiToken(std::move(apiToken))
    , m_timeout(timeout)
{}

ChatService::~ChatService()
{
    // The owner of the callbacks is going away with the service: the reply winds down silently.
    m_currentTask.reset();
}

QVariantList ChatService::pendingToolCallValues() const
{
    QVariantList values;
    values.reserve(m_pendingToolCalls.size());
    for (const auto &toolCall : m_pendingToolCalls)
        values.append(QVariant::fromValue(toolCall));
    return values;
}

void ChatService::setAuthService(const CurrentUserProvider *authService)
{
    if (authService == m_authService)
        return;
    m_authService = authService;
    emit authServiceChanged();
}

void ChatService::sendMessage(const QString &text, const std::optional<QByteArray> &imageData,
                              ContentDeltaHandler onContentDelta, ToolCallHandler onToolCall,
                              ToolResultHandler onToolResult, TurnCompleteHandler onTurnComplete,
                              CompleteHandler onComplete, ErrorHandler onError)
{
    // 1. The new send becomes the current one before the last is ended: the last one's
    //    onComplete may send again, which replaces this one before it began.
    auto send = std::make_unique<Send>();
    send->callbacks = std::make_shared<const Send::Callbacks>(
        Send::Callbacks{std::move(onContentDelta), std::move(onToolCall), std::move(onToolResult),
                        std::move(onTurnComplete), std::move(onComplete), std::move(onError)});
    Send &current = *send;
    const Lifetime::Guard alive = current.lifetime.guard();
    std::unique_ptr<Send> previous = std::exchange(m_currentTask, std::move(send));
    if (!previous)
        emit currentTaskChanged();
    end(std::move(previous));
    if (!alive)
        return;
    // 2. The reply runs on by itself until it ends.
    const auto reply = runSend(current, text, imageData);
}

void ChatService::cancelStream()
{
    // The state is settled before the reply is ended, so a send made from its onComplete is not
    // switched off afterwards.
    std::unique_ptr<Send> cancelled = std::exchange(m_currentTask, nullptr);
    if (cancelled)
        emit currentTaskChanged();
    setIsStreaming(false);
    end(std::move(cancelled));
}

void ChatService::end(std::unique_ptr<Send> send)
{
    if (!send)
        return;
    // Events already being read end as a stream ends.
    const auto callbacks = send->isReadingEvents ? send->callbacks : nullptr;
    send.reset();
    if (callbacks)
        call(callbacks->onComplete);
}

QCoro::Task<> ChatService::configure(QString workosUserId)
{
    // The identifier is what the backend knows the user by; the log does not name it.
    Q_UNUSED(workosUserId);
    Log::write(QStringLiteral("[ChatService] Configured for user: ") +
               QLatin1StringView(RedactedUrl::mark));
    co_return;
}

QCoro::Task<> ChatService::runSend(Send &send, QString text, std::optional<QByteArray> imageData)
{
    const Lifetime::Guard alive = send.lifetime.guard();
    // 1. A new reply starts with no text and no tools. An observer of that may already have
    //    ended the send, or deleted the service.
    startReply(alive);
    if (!alive)
        co_return;
    std::exception_ptr failure;
    try {
        // 2. Only the new user turn goes out.
        auto messages = ChatMessageBuilder::buildMessages(text, imageData);
        // 3. The events of the answer go to the callbacks as they arrive.
        co_await stream(send, std::move(messages));
    } catch (...) {
        failure = std::current_exception();
    }
    // A send that ended (cancelled, replaced, or gone with the service) says nothing more.
    if (!alive)
        co_return;
    send.isReadingEvents = false;
    const auto callbacks = std::exchange(send.callbacks, nullptr);
    if (!failure) {
        // 4. The stream ended.
        call(callbacks->onComplete);
    } else {
        // 5. A failure.
        report(failure, callbacks->onError);
    }
    if (alive)
        setIsStreaming(false);
}

QCoro::Task<> ChatService::stream(Send &send, nlohmann::ordered_json messages)
{
    const Lifetime::Guard alive = send.lifetime.guard();
    // 1. The request.
    HttpRequest request = makeRequest(messages);
    // 2. Send it and wait for the response head.
    const std::unique_ptr<HttpStream> response =
        co_await HttpClient::bytes(std::move(request), send.lifetime.token());
    if (!alive)
        co_return;
    // 3. Only a 200 answer carries events; no other body is read.
    if (!response->statusCode())
        throw ChatError::invalidResponse();
    if (*response->statusCode() != 200)
        throw ChatError::apiError(*response->statusCode());
    // 4. Each line as soon as it arrives, through the line layer.
    send.isReadingEvents = true;
    SSELineReader reader(send.lifetime.token());
    // 5. Events one by one while the send lasts; 6. until the body ends.
    while (alive) {
        const std::optional<std::string> line = co_await response->nextLine();
        if (!alive || !line)
            co_return;
        if (const auto event = reader.read(*line))
            handle(*event, send);
    }
}

HttpRequest ChatService::makeRequest(const nlohmann::ordered_json &messages) const
{
    nlohmann::ordered_json body = {
        {"messages", messages}, {"prompt_type", "text"}, {"client", "vessa_mac"}};
    QString userId;
    if (m_authService) {
        if (const auto &user = m_authService->currentUser()) {
            userId = user->id;
            body["workos_user_id"] = userId.toStdString();
        }
    }
    const std::string text = body.dump();
    QString logged = Graphemes::prefix(QString::fromStdString(text), loggedBodyLength).toString();
    // The log names no user: the identifier is what the backend knows the user by.
    if (!userId.isEmpty())
        logged.replace(userId, QLatin1StringView(RedactedUrl::mark));
    Log::write(QStringLiteral("[ChatService] Request body: ") + logged);

    HttpRequest request{QUrl(m_endpoint)};
    request.method = "POST";
    request.timeout = m_timeout;
    request.setHeader("Content-Type", "application/json");
    request.setHeader("Authorization", "Bearer " + m_apiToken.toUtf8());
    request.body = QByteArray::fromStdString(text);
    return request;
}

void ChatService::handle(const SSEParsedEvent &event, Send &send)
{
    Q_ASSERT(QThread::currentThread() == thread());
    // Observers of the progress state run inside its setters and may end the send or even delete
    // the service; each callback is made only while the send lasts.
    const Lifetime::Guard alive = send.lifetime.guard();
    const auto callbacks = send.callbacks;
    const auto parsed = SSEEventParser::parse(event.json, event.eventType);
    if (const auto *delta = std::get_if<SSEEventParser::ContentDelta>(&parsed)) {
        QString text = QString::fromStdString(delta->text);
        // Past the limit the reply keeps the part that fits, never half a character.
        const qsizetype room = send.room();
        const bool tooLong = text.size() > room;
        if (tooLong)
            text.truncate(room > 0 && text.at(room - 1).isHighSurrogate() ? room - 1 : room);
        send.replySize += text.size();
        appendStreamingContent(text);
        if (alive)
            call(callbacks->onContentDelta, text);
        if (alive && tooLong)
            throw ChatError::replyTooLong();
    } else if (const auto *start = std::get_if<SSEEventParser::ToolUseStart>(&parsed)) {
        if (m_pendingToolCalls.size() == maxToolCalls)
            throw ChatError::tooManyToolCalls();
        const auto inputSize = static_cast<qsizetype>(
            start->input.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
                .size());
        if (inputSize > send.room())
            throw ChatError::replyTooLong();
        send.replySize += inputSize;
        const ToolCall toolCall = makeToolCall(*start);
        m_pendingToolCalls.append(toolCall);
        emit pendingToolCallsChanged();
        if (alive)
            call(callbacks->onToolCall, toolCall);
    } else if (const auto *result = std::get_if<SSEEventParser::ToolResult>(&parsed)) {
        const QString id = QString::fromStdString(result->id);
        const QString text = QString::fromStdString(result->result);
        const auto found =
            std::find_if(m_pendingToolCalls.begin(), m_pendingToolCalls.end(),
                         [&id](const ToolCall &toolCall) { return toolCall.id == id; });
        if (found != m_pendingToolCalls.end() && (found->isExecuting || found->result != text)) {
            // A result replaced may live on in a turn message: each one counts.
            if (text.size() > send.room())
                throw ChatError::replyTooLong();
            send.replySize += text.size();
            found->isExecuting = false;
            found->result = text;
            emit pendingToolCallsChanged();
        }
        if (alive)
            call(callbacks->onToolResult, id, text, result->isError);
    } else if (std::holds_alternative<SSEEventParser::MessageComplete>(parsed)) {
        // A turn with neither text nor tools is no message; the collected reply stays as it is
        // for the turns that follow.
        if (m_streamingContent.trimmed().isEmpty() && m_pendingToolCalls.isEmpty())
            return;
        // The message holds a copy of the whole reply so far.
        if (send.turns == maxTurns || send.turnsSize + send.replySize > maxReplyLength)
            throw ChatError::replyTooLong();
        ++send.turns;
        send.turnsSize += send.replySize;
        send.lastTurnSize = send.replySize;
        call(callbacks->onTurnComplete,
             std::make_unique<Message>(MessageRole::assistant, m_streamingContent,
                                       m_pendingToolCalls));
    } else if (const auto *error = std::get_if<SSEEventParser::Error>(&parsed)) {
        Log::write(QStringLiteral("[ChatService] SSE error: ") +
                   Excerpt::of(QString::fromStdString(error->code)) + QStringLiteral(" - ") +
                   Excerpt::of(QString::fromStdString(error->message)));
        throw ChatError::streamingError();
    }
}

void ChatService::startReply(const Lifetime::Guard &alive)
{
    // All three are set before anyone hears of it, so observers never see half a reset.
    const bool streamingChanged = !std::exchange(m_isStreaming, true);
    const bool contentChanged = !std::exchange(m_streamingContent, QString()).isEmpty();
    const bool toolCallsChanged = !std::exchange(m_pendingToolCalls, {}).isEmpty();
    if (streamingChanged)
        emit isStreamingChanged();
    if (alive && contentChanged)
        emit streamingContentChanged();
    if (alive && toolCallsChanged)
        emit pendingToolCallsChanged();
}

void ChatService::setIsStreaming(bool isStreaming)
{
    if (isStreaming == m_isStreaming)
        return;
    m_isStreaming = isStreaming;
    emit isStreamingChanged();
}

void ChatService::appendStreamingContent(const QString &delta)
{
    if (delta.isEmpty())
        return;
    m_streamingContent.append(delta);
    emit streamingContentChanged();
}
