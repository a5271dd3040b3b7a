#pragma once

#include "model/Message.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>
#include <optional>

// The chat in memory: messages in the order they were added, and the same messages by creation
// time, which is what the screen shows. Belongs to the main thread.
class Conversation : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString id READ id CONSTANT)
    Q_PROPERTY(QVariant title READ titleValue NOTIFY titleChanged)
    Q_PROPERTY(double createdAt READ createdAt CONSTANT)
    Q_PROPERTY(double updatedAt READ updatedAt NOTIFY updatedAtChanged)
    Q_PROPERTY(QList<Message *> messages READ messages NOTIFY messagesChanged)
    Q_PROPERTY(QList<Message *> sortedMessages READ sortedMessages NOTIFY sortedMessagesChanged)

public:
    // The longest title taken whole from a first message, in user-perceived characters.
    static constexpr int titleLength = 50;

    // A new, empty conversation: fresh id, no title, created and updated now.
    explicit Conversation(QObject *parent = nullptr);
    // sortedMessages starts empty even when messages are given; addMessage computes it.
    // Takes ownership of the given messages that have no parent.
    Conversation(QString id, std::optional<QString> title, double createdAt, double updatedAt,
                 QList<Message *> messages = {}, QObject *parent = nullptr);

    const QString &id() const { return m_id; }
    const std::optional<QString> &title() const { return m_title; }
    // The title for QML: a string, or undefined while absent.
    QVariant titleValue() const;
    double createdAt() const { return m_createdAt; }
    double updatedAt() const { return m_updatedAt; }
    const QList<Message *> &messages() const { return m_messages; }
    const QList<Message *> &sortedMessages() const { return m_sortedMessages; }

    void setTitle(const std::optional<QString> &title);
    void setUpdatedAt(double updatedAt);

    // Appends, stamps updatedAt with the current time, then re-sorts: observers see
    // messagesChanged, updatedAtChanged and sortedMessagesChanged in that order. Takes ownership
    // of a message without a parent.
    void addMessage(Message *message);
    // Takes a message out, stamps updatedAt, re-sorts, then deletes the message if the
    // conversation owns it. Observers see the same signals as for addMessage.
    void removeMessage(Message *message);
    // Titles the conversation after its first user message unless a title is present, even an
    // empty one. Longer texts are cut after titleLength characters and get "...".
    Q_INVOKABLE void generateTitle();

signals:
    void titleChanged();
    void updatedAtChanged();
    void messagesChanged();
    void sortedMessagesChanged();

private:
    Conversation(double now, QObject *parent);

    void adopt(Message *message);
    void sortMessages();

    const QString m_id;
    std::optional<QString> m_title;
    const double m_createdAt;
    double m_updatedAt;
    QList<Message *> m_messages;
    QList<Message *> m_sortedMessages;
};
