#pragma once

#include "model/Message.h"
#include "model/ToolCall.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <deque>
#include <memory>
#include <optional>

class ChatService;
class Conversation;
class MessageListModel;

// One send of the chat screen and its reply, up to the last character on screen. It owns the
// callbacks it hands to the chat service, the message the reply streams into and how much of what
// arrived is shown. What arrived is in the service's progress state; the messages hold what is
// shown of it and the list its parse. The reply takes it from the service (from a shared copy
// once the reply has ended, as the next send starts that state anew) at most once per frame and
// at most a frame's worth at a time, a finished turn counting by its length, so neither a burst of
// events nor one huge event holds the screen up.
//
// The screen destroys it when it sends again or drops the conversation. A send still running ends
// with it, so the callbacks it handed out never outlive it.
class ChatReply : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds frame{16};
    // The most new text one frame lays out, in UTF-16 code units; a finished turn counts by the
    // length of its message, which the list parses whole.
    static constexpr qsizetype textPerFrame = 32 * 1024;

    // The user's message is already in the conversation.
    ChatReply(ChatService &service, Conversation &conversation, MessageListModel &list,
              QString text, QObject *parent = nullptr);
    ~ChatReply() override;

    void start();
    // The user's Stop: a reply still streaming is cancelled and kept as stopped; one that had ended
    // keeps its own ending. What arrived goes on reaching the screen a frame's worth at a time.
    void stop();
    // As stop, but with everything that arrived on screen now: the send is replaced.
    void finishNow();
    // Takes the messages of the reply out of the conversation.
    void withdraw();

    const QString &text() const { return m_text; }
    Message *streamingMessage() const { return m_streamingMessage.get(); }
    bool isFinished() const { return m_ending.has_value(); }
    // Set once finished.
    const std::optional<Message::Ending> &ending() const { return m_ending; }
    // The failure's description once the reply has failed.
    const std::optional<QString> &failure() const { return m_failure; }

signals:
    void streamingMessageChanged();
    void finished();

private:
    // A finished turn whose text is not all on screen yet.
    struct Turn
    {
        qsizetype textEnd;
        qsizetype toolEnd;
        std::unique_ptr<Message> message;
    };

    void arrive();
    void completeTurn(std::unique_ptr<Message> message);
    void end(std::optional<QString> failure);
    // What arrived: the service's progress while the reply runs, the copy taken when it ended.
    const QString &arrivedText() const;
    const QList<ToolCall> &arrivedTools() const;
    void showFrame();
    void show(qsizetype budget);
    void finishTurn();
    void finish();
    void setStreamingMessage(std::unique_ptr<Message> message);
    void keep(std::unique_ptr<Message> message);

    ChatService &service;
    Conversation &conversation;
    MessageListModel &list;
    const QString m_text;
    std::unique_ptr<Message> m_streamingMessage;
    std::deque<Turn> turns;
    // Where the streaming message's tools start in the service's list, and how much of the
    // service's text is on screen.
    qsizetype toolStart = 0;
    qsizetype shown = 0;
    QTimer frameTimer;
    // Something arrived that the running frame has not shown.
    bool isDue = false;
    // The service has nothing more to give; what it had is copied.
    bool hasEnded = false;
    QString endedText;
    QList<ToolCall> endedTools;
    bool isStopped = false;
    std::optional<QString> m_failure;
    std::optional<Message::Ending> m_ending;
    // The reply's messages in the conversation.
    QList<Message *> kept;
};
