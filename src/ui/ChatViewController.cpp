#include "ui/ChatViewController.h"

#include "chat/ChatService.h"
#include "identity/AuthService.h"
#include "markdown/MarkdownPlainText.h"
#include "model/Conversation.h"
#include "model/Graphemes.h"
#include "model/Message.h"

#include <utility>

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
    connect(&scrollThrottle, &ScrollThrottle::scrollRequested, this,
            [this] { emit scrollToBottomRequested(false); });
}

ChatViewController::~ChatViewController()
{
    lifetime.end();
    // The reply ends its send as it goes, without calling back into a screen that is going away.
    m_reply.reset();
    m_chatService.reset();
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

bool ChatViewController::canRetry() const
{
    return m_reply && m_reply->ending() == Message::Ending::failed;
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

void ChatViewController::stop()
{
    if (isStreaming())
        m_reply->stop();
}

void ChatViewController::retry()
{
    if (!canRetry())
        return;
    // The user's message stays; what its failed reply left goes.
    m_reply->withdraw();
    setFollowing(true);
    startReply(m_reply->text());
}

void ChatViewController::startSend(const QString &text)
{
    // A reply still running ends first, keeping what it had, all of it on screen before the
    // user's new message.
    if (m_reply)
        m_reply->finishNow();
    // 3. The first send after start or after a new conversation creates the conversation.
    if (!m_currentConversation)
        setCurrentConversation(std::make_unique<Conversation>());
    // The user's own message is always brought into view.
    setFollowing(true);
    // 4. The user's message, then 5. and 6. the reply, streaming into a message of its own.
    m_currentConversation->addMessage(new Message(MessageRole::user, text));
    startReply(text);
}

void ChatViewController::startReply(QString text)
{
    setReply(std::make_unique<ChatReply>(*m_chatService, *m_currentConversation, m_messages,
                                         std::move(text)));
    m_reply->start();
}

void ChatViewController::setReply(std::unique_ptr<ChatReply> reply)
{
    m_reply.reset();
    m_reply = std::move(reply);
    if (m_reply) {
        connect(m_reply.get(), &ChatReply::streamingMessageChanged, this, [this] {
            if (Message *message = m_reply->streamingMessage())
                connect(message, &Message::contentChanged, &scrollThrottle,
                        &ScrollThrottle::request);
        });
        connect(m_reply.get(), &ChatReply::finished, this, &ChatViewController::replyEnded);
    }
    publishReplyState();
}

void ChatViewController::replyEnded()
{
    publishReplyState();
    if (const auto &failure = m_reply->failure()) {
        m_alert.show(*failure);
        return;
    }
    m_currentConversation->generateTitle();
    // The typing bubble is gone and the reply's own buttons came: the end moved.
    if (isFollowing())
        emit scrollToBottomRequested(false);
    // Its head is enough to be heard, and cheap to make plain however long the reply.
    const QList<Message *> &messages = m_currentConversation->sortedMessages();
    if (!messages.isEmpty() && messages.last()->role() == MessageRole::assistant) {
        const QStringView head = Graphemes::prefix(messages.last()->content(), announcedLength);
        emit replyFinished(MarkdownPlainText::of(head.toString()));
    }
}

void ChatViewController::publishReplyState()
{
    m_messages.setStreaming(isStreaming());
    m_messages.setRetryOffered(canRetry());
    if (std::exchange(wasStreaming, isStreaming()) != isStreaming())
        emit isStreamingChanged();
    if (std::exchange(couldRetry, canRetry()) != canRetry())
        emit canRetryChanged();
}

void ChatViewController::newConversation()
{
    // The dropped reply ends its send as it goes: nothing of it reaches the screen any more.
    setReply(nullptr);
    setCurrentConversation(nullptr);
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
