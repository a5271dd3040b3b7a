#include "ui/ChatReply.h"

#include "chat/ChatService.h"
#include "model/Conversation.h"
#include "ui/MessageListModel.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <utility>

namespace {

bool hasContent(const Message &message)
{
    return !message.content().trimmed().isEmpty() || !message.toolCalls().isEmpty();
}

// A tool still running when its reply ends will not finish any more.
void settleTools(Message &message)
{
    QList<ToolCall> toolCalls = message.toolCalls();
    bool wasRunning = false;
    for (ToolCall &toolCall : toolCalls)
        wasRunning = std::exchange(toolCall.isExecuting, false) || wasRunning;
    if (wasRunning)
        message.setToolCalls(toolCalls);
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
    // A send still running ends with its reply; the onComplete of a cancel finds the reply ended.
    if (m_streamingMessage && !hasEnded) {
        hasEnded = true;
        service.cancelStream();
    }
    // The list lets go of the reply before it is destroyed.
    if (m_streamingMessage)
        list.setStreamingMessage(nullptr);
}

void ChatReply::start()
{
    setStreamingMessage(std::make_unique<Message>(MessageRole::assistant, QString()));
    // The send never outlives this reply, so each callback finds it.
    const auto arrived = [this](auto &&...) { arrive(); };
    service.sendMessage(
        m_text, std::nullopt, arrived, arrived, arrived,
        [this](std::unique_ptr<Message> message) { completeTurn(std::move(message)); },
        [this] { end(std::nullopt); },
        [this](const std::exception &error) { end(QString::fromUtf8(error.what())); });
}

void ChatReply::stop()
{
    if (hasEnded)
        return;
    isStopped = true;
    // A reply whose events were being read calls back as it ends, already stopped.
    service.cancelStream();
    end(std::nullopt);
}

void ChatReply::finishNow()
{
    stop();
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
    if (hasEnded)
        return;
    hasEnded = true;
    m_failure = std::move(failure);
    // The next send starts the service's progress anew; the rest is shown from a copy.
    endedText = service.streamingContent();
    endedTools = service.pendingToolCalls();
    arrive();
}

const QString &ChatReply::arrivedText() const
{
    return hasEnded ? endedText : service.streamingContent();
}

const QList<ToolCall> &ChatReply::arrivedTools() const
{
    return hasEnded ? endedTools : service.pendingToolCalls();
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
    const QString &arrived = arrivedText();
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
        // The list parses a finished turn's message whole: it takes its length from the frame.
        if (budget <= 0) {
            isDue = true;
            break;
        }
        budget -= turns.front().message->content().size();
        finishTurn();
    }
    const QList<ToolCall> &tools = arrivedTools();
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
    // What arrived after the last complete turn is kept, and says why it ends there; so does a
    // stopped reply, and one that showed nothing at all, even with nothing in them. A failure
    // without text shows its alert instead.
    const bool holdsSomething = hasContent(*last);
    m_ending = m_failure                          ? Message::Ending::failed
               : isStopped                        ? Message::Ending::stopped
               : holdsSomething || kept.isEmpty() ? Message::Ending::incomplete
                                                  : Message::Ending::complete;
    const bool keepsLast = holdsSomething || isStopped || m_ending == Message::Ending::incomplete;
    for (Message *message : std::as_const(kept))
        settleTools(*message);
    settleTools(*last);
    if (keepsLast) {
        last->setEnding(*m_ending);
        // The list hands the rows it streamed into over to the kept message, with their state.
        keep(std::move(last));
    }
    list.setStreamingMessage(nullptr);
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
