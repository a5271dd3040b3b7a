#include "ui/ChatViewController.h"

#include "chat/ChatService.h"
#include "identity/AuthService.h"
#include "markdown/MarkdownPlainText.h"
#include "model/Conversation.h"
#include "model/Message.h"

#include <QPointer>
#include <utility>

namespace {

std::unique_ptr<Message> emptyReply()
{
    return std::make_unique<Message>(MessageRole::assistant, QString());
}

} // namespace

ChatViewController::ChatViewController(QObject *parent)
    : ChatViewController(AuthService::shared(), std::make_unique<ChatService>(), {}, parent)
{}

ChatViewController::ChatViewController(AuthService &auth, std::unique_ptr<ChatService> chatService,
                                       ScrollThrottle::Schedule scrollSchedule, QObject *parent)
    : QObject(parent)
    , authService(auth)
    , m_chatService(std::move(chatService))
    , scrollThrottle(std::move(scrollSchedule))
{
    connect(m_chatService.get(), &ChatService::isStreamingChanged, this, [this] {
        m_messages.setStreaming(isStreaming());
        emit isStreamingChanged();
    });
    connect(&scrollThrottle, &ScrollThrottle::scrollRequested, this,
            [this] { emit scrollToBottomRequested(false); });
}

ChatViewController::~ChatViewController()
{
    lifetime.end();
    // The reply winds down without calling back into a screen that is going away.
    m_chatService.reset();
    m_messages.setStreamingMessage(nullptr);
    m_messages.setConversation(nullptr);
}

void ChatViewController::setInputText(const QString &text)
{
    if (text == m_inputText)
        return;
    m_inputText = text;
    emit inputTextChanged();
}

bool ChatViewController::hasMessages() const
{
    return m_currentConversation && !m_currentConversation->messages().isEmpty();
}

bool ChatViewController::isStreaming() const
{
    return m_chatService && m_chatService->isStreaming();
}

void ChatViewController::setCurrentScreen(ChatViewScreen::Value screen)
{
    if (screen == m_currentScreen)
        return;
    m_currentScreen = screen;
    emit currentScreenChanged();
}

void ChatViewController::setFollowing(bool following)
{
    if (following == isFollowing())
        return;
    scrollThrottle.setFollowing(following);
    emit isFollowingChanged();
}

void ChatViewController::send()
{
    // 1. Blank text is not sent and stays in the input row.
    const QString text = m_inputText.trimmed();
    if (text.isEmpty())
        return;
    // 2. The input row empties at once.
    setInputText(QString());
    startSend(text);
}

void ChatViewController::quickAction(const QString &text)
{
    setInputText(text);
    send();
}

void ChatViewController::startSend(const QString &text)
{
    // 3. The first send after start or after a new conversation creates the conversation.
    if (!m_currentConversation)
        setCurrentConversation(std::make_unique<Conversation>());
    // The user's own message is always brought into view.
    setFollowing(true);
    // 4. The user's message, then 5. an empty reply to stream into.
    m_currentConversation->addMessage(new Message(MessageRole::user, text));
    setStreamingMessage(emptyReply());

    // 6. Every callback belongs to this send and this conversation; a later send or a new
    //    conversation makes them leave the screen alone.
    const quint64 send = ++sendCount;
    const QPointer<Conversation> conversation = m_currentConversation.get();
    const auto isCurrent = [this, send, conversation] {
        return isCurrentSend(send) && conversation;
    };
    m_chatService->sendMessage(
        text, std::nullopt,
        [this, isCurrent](const QString &delta) {
            if (isCurrent() && m_streamingMessage)
                m_streamingMessage->setContent(m_streamingMessage->content() + delta);
        },
        [this, isCurrent](const ToolCall &toolCall) {
            if (isCurrent() && m_streamingMessage) {
                QList<ToolCall> toolCalls = m_streamingMessage->toolCalls();
                toolCalls.append(toolCall);
                m_streamingMessage->setToolCalls(toolCalls);
            }
        },
        [this, isCurrent](const QString &toolId, const QString &result, bool) {
            if (!isCurrent() || !m_streamingMessage)
                return;
            QList<ToolCall> toolCalls = m_streamingMessage->toolCalls();
            for (ToolCall &toolCall : toolCalls) {
                if (toolCall.id == toolId) {
                    toolCall.isExecuting = false;
                    toolCall.result = result;
                    m_streamingMessage->setToolCalls(toolCalls);
                    return;
                }
            }
        },
        [this, isCurrent, conversation](std::unique_ptr<Message> message) {
            Conversation *current = conversation.data();
            if (!isCurrent() || current == nullptr)
                return;
            current->addMessage(message.release());
            setStreamingMessage(emptyReply());
        },
        [this, isCurrent, conversation] {
            if (conversation)
                conversation->generateTitle();
            Conversation *current = conversation.data();
            if (!isCurrent() || current == nullptr)
                return;
            setStreamingMessage(nullptr);
            // The typing bubble is gone and the reply's own buttons came: the end moved.
            if (isFollowing())
                emit scrollToBottomRequested(false);
            const QList<Message *> &messages = current->sortedMessages();
            if (!messages.isEmpty() && messages.last()->role() == MessageRole::assistant)
                emit replyFinished(MarkdownPlainText::of(messages.last()->content()));
        },
        [this, isCurrent, conversation](const std::exception &error) {
            Conversation *current = conversation.data();
            if (!isCurrent() || current == nullptr)
                return;
            keepPartialReply(*current);
            m_alert.show(QString::fromUtf8(error.what()));
        });
}

void ChatViewController::keepPartialReply(Conversation &conversation)
{
    std::unique_ptr<Message> partial = std::exchange(m_streamingMessage, nullptr);
    m_messages.setStreamingMessage(nullptr);
    if (!partial || (partial->content().trimmed().isEmpty() && partial->toolCalls().isEmpty()))
        return;
    // A tool that was still running when the reply broke off will not finish any more.
    QList<ToolCall> toolCalls = partial->toolCalls();
    for (ToolCall &toolCall : toolCalls)
        toolCall.isExecuting = false;
    partial->setToolCalls(toolCalls);
    conversation.addMessage(partial.release());
}

void ChatViewController::newConversation()
{
    ++sendCount;
    m_chatService->cancelStream();
    setCurrentConversation(nullptr);
    setStreamingMessage(nullptr);
    setInputText(QString());
}

void ChatViewController::setCurrentConversation(std::unique_ptr<Conversation> conversation)
{
    const bool hadMessages = hasMessages();
    // The list lets go of the old conversation before it is destroyed.
    m_messages.setConversation(conversation.get());
    std::unique_ptr<Conversation> previous =
        std::exchange(m_currentConversation, std::move(conversation));
    previous.reset();
    if (m_currentConversation) {
        connect(m_currentConversation.get(), &Conversation::messagesChanged, this, [this] {
            if (m_currentConversation->messages().size() == 1)
                emit hasMessagesChanged();
            if (isFollowing())
                emit scrollToBottomRequested(true);
        });
    }
    if (hadMessages != hasMessages())
        emit hasMessagesChanged();
}

void ChatViewController::setStreamingMessage(std::unique_ptr<Message> message)
{
    // The list lets go of the old reply before it is destroyed.
    m_messages.setStreamingMessage(message.get());
    m_streamingMessage = std::move(message);
    if (m_streamingMessage) {
        connect(m_streamingMessage.get(), &Message::contentChanged, &scrollThrottle,
                &ScrollThrottle::request);
    }
}

void ChatViewController::appear()
{
    const auto started = setup();
}

QCoro::Task<> ChatViewController::setup()
{
    // 1. Once per screen; 2. not before somebody is signed in (the next showing tries again).
    if (m_isConfigured || isSettingUp || !authService.currentUser())
        co_return;
    const Lifetime::Guard guard = lifetime.guard();
    isSettingUp = true;
    // 3. The chat service learns who is signed in.
    m_chatService->setAuthService(&authService);
    co_await m_chatService->configure(authService.currentUser()->id);
    if (!guard)
        co_return;
    // 4.
    isSettingUp = false;
    m_isConfigured = true;
    emit isConfiguredChanged();
    // 5. The assistant's name, preferences and memories are refreshed.
    co_await authService.fetchUserInfo();
}
