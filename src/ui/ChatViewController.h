#pragma once

#include "model/Lifetime.h"
#include "ui/ChatReply.h"
#include "ui/ChatViewScreen.h"
#include "ui/ErrorAlertState.h"
#include "ui/MessageListModel.h"
#include "ui/ScrollThrottle.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <memory>

class AuthService;
class ChatService;
class Conversation;
class Message;

// The state and actions of a signed-in user's chat screen: the current conversation, the last
// send and its reply, the typed text, the error alert, the one-time setup, which screen is shown,
// and when the message list should scroll. The screen's QML holds only layout and bindings.
class ChatViewController : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString inputText READ inputText WRITE setInputText NOTIFY inputTextChanged)
    Q_PROPERTY(MessageListModel *messages READ messages CONSTANT)
    Q_PROPERTY(bool hasMessages READ hasMessages NOTIFY hasMessagesChanged)
    // From a send until its reply is all on screen.
    Q_PROPERTY(bool isStreaming READ isStreaming NOTIFY isStreamingChanged)
    // The last send failed and can be sent again.
    Q_PROPERTY(bool canRetry READ canRetry NOTIFY canRetryChanged)
    Q_PROPERTY(ErrorAlertState *alert READ alert CONSTANT)
    Q_PROPERTY(bool isConfigured READ isConfigured NOTIFY isConfiguredChanged)
    Q_PROPERTY(ChatViewScreen::Value currentScreen READ currentScreen WRITE setCurrentScreen NOTIFY
                   currentScreenChanged)
    // For the views, which cannot name enum values that start in lower case.
    Q_PROPERTY(bool isShowingChat READ isShowingChat NOTIFY currentScreenChanged)
    Q_PROPERTY(bool isShowingVoiceChat READ isShowingVoiceChat NOTIFY currentScreenChanged)
    Q_PROPERTY(bool isShowingSettings READ isShowingSettings NOTIFY currentScreenChanged)
    Q_PROPERTY(bool isFollowing READ isFollowing WRITE setFollowing NOTIFY isFollowingChanged)

public:
    // How much of a finished reply screen readers are told, in characters.
    static constexpr qsizetype announcedLength = 4096;

    // The screen of the shared sign-in service, with a chat service of its own.
    explicit ChatViewController(QObject *parent = nullptr);
    ChatViewController(AuthService &authService, std::unique_ptr<ChatService> chatService,
                       ScrollThrottle::Schedule scrollSchedule = {}, QObject *parent = nullptr);
    ~ChatViewController() override;

    const QString &inputText() const { return m_inputText; }
    void setInputText(const QString &text);
    MessageListModel *messages() { return &m_messages; }
    bool hasMessages() const;
    bool isStreaming() const { return m_reply && !m_reply->isFinished(); }
    bool canRetry() const;
    Conversation *currentConversation() const { return m_currentConversation.get(); }
    Message *streamingMessage() const { return m_reply ? m_reply->streamingMessage() : nullptr; }
    ChatService &chatService() const { return *m_chatService; }
    ErrorAlertState *alert() { return &m_alert; }
    bool isConfigured() const { return m_isConfigured; }
    ChatViewScreen::Value currentScreen() const { return m_currentScreen; }
    void setCurrentScreen(ChatViewScreen::Value screen);
    bool isShowingChat() const { return m_currentScreen == ChatViewScreen::chat; }
    bool isShowingVoiceChat() const { return m_currentScreen == ChatViewScreen::voiceChat; }
    bool isShowingSettings() const { return m_currentScreen == ChatViewScreen::settings; }
    // The input row's voice button.
    Q_INVOKABLE void showVoiceChat() { setCurrentScreen(ChatViewScreen::voiceChat); }
    // The header's settings button.
    Q_INVOKABLE void showSettings() { setCurrentScreen(ChatViewScreen::settings); }
    // The dismiss action of the screen laid over the chat.
    Q_INVOKABLE void showChat() { setCurrentScreen(ChatViewScreen::chat); }
    bool isFollowing() const { return scrollThrottle.isFollowing(); }
    // Set by the list: whether it shows its end. Scrolling back to the end resumes following.
    void setFollowing(bool following);

    // Sends the typed text, trimmed; blank text is left where it is.
    Q_INVOKABLE void send();
    Q_INVOKABLE void quickAction(const QString &text);
    // The input row's Stop: the reply ends with what arrived, without an alert.
    Q_INVOKABLE void stop();
    // Sends the failed message again; the new reply takes the failed one's place.
    Q_INVOKABLE void retry();
    // Drops the conversation and stops its reply without an alert.
    Q_INVOKABLE void newConversation();
    // The screen was shown: the one-time setup, once a user is signed in.
    Q_INVOKABLE void appear();
    QCoro::Task<> setup();

signals:
    void inputTextChanged();
    void hasMessagesChanged();
    void isStreamingChanged();
    void canRetryChanged();
    void isConfiguredChanged();
    void currentScreenChanged();
    void isFollowingChanged();
    // Bring the end of the list into view.
    void scrollToBottomRequested(bool animated);
    // A reply has finished; the head of its last text as plain text, for screen readers.
    void replyFinished(const QString &text);

private:
    void setCurrentConversation(std::unique_ptr<Conversation> conversation);
    void startSend(const QString &text);
    // Sends a message that is in the conversation already.
    void startReply(QString text);
    // The last send is replaced; the one before it has let go of the screen.
    void setReply(std::unique_ptr<ChatReply> reply);
    void replyEnded();
    // Tells the views what follows from the last send.
    void publishReplyState();

    AuthService &authService;
    std::unique_ptr<ChatService> m_chatService;
    QString m_inputText;
    std::unique_ptr<Conversation> m_currentConversation;
    ErrorAlertState m_alert;
    bool m_isConfigured = false;
    bool isSettingUp = false;
    ChatViewScreen::Value m_currentScreen = ChatViewScreen::chat;
    ScrollThrottle scrollThrottle;
    MessageListModel m_messages;
    // The last send, until the next one or a new conversation.
    std::unique_ptr<ChatReply> m_reply;
    bool wasStreaming = false;
    bool couldRetry = false;
    Lifetime lifetime;
};
