#include "ui/ChatReply.h"

#include "chat/ChatService.h"
#include "model/Conversation.h"
#include "ui/MessageListModel.h"

#include <QPointer>
#include <algorithm>
#include <exception>
#include <limits>
#include <utility>

namespace {

bool hasContent(const Message &message)
{
    return !message.content().trimmed().isEmpty() || !message.toolCalls().isEmpty();
}

} // namespace

ChatReply::ChatReply(ChatService &chatService, Conversation &replyConversation,
                     MessageListModel &messageList, QString text, QObject *parent)
    : QObject(parent)
    , service(chatService)
    , conversation(replyConversation)
    , list(messageList)
    , m_text(std::move(text))
{
    frameTimer.setSingleShot(true);
    frameTimer.setInterval(frame);
    connect(&frameTimer, &QTimer::timeout, this, &ChatReply::showFrame);
}

ChatReply::~ChatReply()
{
    // The list lets go of the reply before it is destroyed.
    if (m_streamingMessage)
        list.setStreamingMessage(nullptr);
}

void ChatReply::start()
{
    setStreamingMessage(std::make_unique<Message>(MessageRole::assistant, QString()));
    // Each callback reaches this reply while it exists, and nothing once it is gone.
    const auto bound = [reply = QPointer<ChatReply>(this)](auto handler) {
        return [reply, handler](auto &&...arguments) {
            if (reply)
                handler(*reply, std::forward<decltype(arguments)>(arguments)...);
        };
    };
    const auto arrived = bound([](ChatReply &reply, auto &&...) { reply.arrive(); });
    service.sendMessage(m_text, std::nullopt, arrived, arrived, arrived,
                        bound([](ChatReply &reply, std::unique_ptr<Message> message) {
                            reply.completeTurn(std::move(message));
                        }),
                        bound([](ChatReply &reply) { reply.end(std::nullopt); }),
                        bound([](ChatReply &reply, const std::exception &error) {
                            reply.end(QString::fromUtf8(error.what()));
                        }));
}

void ChatReply::stop()
{
    if (!hasEnded) {
        isStopped = true;
        hasEnded = true;
        service.cancelStream();
    }
    show(std::numeric_limits<qsizetype>::max());
}

void ChatReply::withdraw()
{
    for (Message *message : std::exchange(kept, {}))
        conversation.removeMessage(message);
}

void ChatReply::arrive()
{
    // The first change after a quiet frame is shown at once, the rest when the frame is over.
    isDue = true;
    if (!frameTimer.isActive())
        showFrame();
}

void ChatReply::completeTurn(std::unique_ptr<Message> message)
{
    turns.push_back(
        {service.streamingContent().size(), service.pendingToolCalls().size(), std::move(message)});
    arrive();
}

void ChatReply::end(std::optional<QString> failure)
{
    hasEnded = true;
    m_failure = std::move(failure);
    arrive();
}

void ChatReply::showFrame()
{
    if (isFinished() || !std::exchange(isDue, false))
        return;
    show(textPerFrame);
    if (!isFinished())
        frameTimer.start();
}

void ChatReply::show(qsizetype budget)
{
    if (isFinished())
        return;
    const QString &arrived = service.streamingContent();
    for (;;) {
        const qsizetype end = turns.empty() ? arrived.size() : turns.front().textEnd;
        qsizetype count = std::min(end - shown, budget);
        // A frame never ends between the halves of a character.
        if (count < end - shown && count > 0 && arrived.at(shown + count - 1).isHighSurrogate())
            --count;
        if (count > 0) {
            m_streamingMessage->setContent(m_streamingMessage->content() +
                                           arrived.mid(shown, count));
            shown += count;
            budget -= count;
        }
        if (shown < end) {
            isDue = true;
            break;
        }
        if (turns.empty())
            break;
        finishTurn();
    }
    const QList<ToolCall> &tools = service.pendingToolCalls();
    const qsizetype toolEnd = turns.empty() ? tools.size() : turns.front().toolEnd;
    m_streamingMessage->setToolCalls(tools.mid(toolStart, toolEnd - toolStart));
    if (hasEnded && turns.empty() && shown == arrived.size())
        finish();
}

void ChatReply::finishTurn()
{
    // Any further text of the reply starts a message of its own.
    Turn turn = std::move(turns.front());
    turns.pop_front();
    keep(std::move(turn.message));
    toolStart = turn.toolEnd;
    setStreamingMessage(std::make_unique<Message>(MessageRole::assistant, QString()));
}

void ChatReply::finish()
{
    frameTimer.stop();
    std::unique_ptr<Message> last = std::exchange(m_streamingMessage, nullptr);
    list.setStreamingMessage(nullptr);
    // Text that arrived after the last complete turn is kept, and says why it ends there.
    m_ending = m_failure           ? Message::Ending::failed
               : isStopped         ? Message::Ending::stopped
               : hasContent(*last) ? Message::Ending::incomplete
                                   : Message::Ending::complete;
    if (hasContent(*last)) {
        // A tool still running will not finish any more.
        QList<ToolCall> toolCalls = last->toolCalls();
        for (ToolCall &toolCall : toolCalls)
            toolCall.isExecuting = false;
        last->setToolCalls(toolCalls);
        last->setEnding(*m_ending);
        keep(std::move(last));
    }
    emit finished();
}

void ChatReply::setStreamingMessage(std::unique_ptr<Message> message)
{
    // The list lets go of the old message before it is destroyed.
    list.setStreamingMessage(message.get());
    m_streamingMessage = std::move(message);
    emit streamingMessageChanged();
}

void ChatReply::keep(std::unique_ptr<Message> message)
{
    kept.append(message.get());
    conversation.addMessage(message.release());
}
