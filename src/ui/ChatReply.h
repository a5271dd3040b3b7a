#pragma once

#include "model/Message.h"

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
// arrived is shown. The text and tools are read from the service's progress state, the one copy of
// the reply: at most once per frame, and at most a frame's worth of new text at a time, so neither
// a burst of events nor one huge event holds the screen up.
//
// The screen destroys it when it sends again or drops the conversation; the callbacks reach it
// only while it exists, so nothing of a reply that was replaced can touch the screen.
class ChatReply : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds frame{16};
    // The most new text one frame lays out, in UTF-16 code units.
    static constexpr qsizetype textPerFrame = 32 * 1024;

    // The user's message is already in the conversation.
    ChatReply(ChatService &service, Conversation &conversation, MessageListModel &list,
              QString text, QObject *parent = nullptr);
    ~ChatReply() override;

    void start();
    // Ends the reply now, with everything that arrived on screen. A reply still streaming is
    // cancelled and kept as stopped; one that had ended keeps its own ending.
    void stop();
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
    // The service has nothing more to give.
    bool hasEnded = false;
    bool isStopped = false;
    std::optional<QString> m_failure;
    std::optional<Message::Ending> m_ending;
    QList<Message *> kept;
};
