#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QMetaObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

class Conversation;
class Message;

// The rows of the chat: the conversation's messages by creation time, then the reply that is
// streaming in, if any. A streamed delta changes only the streaming row (dataChanged), and a
// finished message is one inserted row, so the delegates, a selection and the scroll position
// survive the whole reply; only switching to another conversation resets the list.
class MessageListModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The chat screen's controller owns the message list")

public:
    enum Role
    {
        // The message's id; the streaming reply is "streaming".
        MessageIdRole = Qt::UserRole + 1,
        IsUserRole,
        ContentRole,
        // One map per tool call, as ToolCallCard::present gives it.
        ToolCallsRole,
        // The row is the reply being streamed while the chat still streams.
        IsStreamingRole,
        HasTextRole,
        HasImageRole,
        // Whether the bubble draws anything at all.
        IsVisibleRole,
        // A data URL of the attached image, or empty.
        ImageSourceRole,
    };
    Q_ENUM(Role)

    explicit MessageListModel(QObject *parent = nullptr);

    void setConversation(Conversation *conversation);
    void setStreamingMessage(Message *message);
    void setStreaming(bool isStreaming);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // The bubble rule: a user message shows when it has text or an image; an assistant message
    // when it has text or tool calls, or while it streams.
    static bool isVisible(const Message &message, bool isStreaming);

private:
    void syncMessages();
    int streamingRow() const;
    void streamingRowChanged(const QList<int> &roles);

    QPointer<Conversation> conversation;
    QMetaObject::Connection conversationConnection;
    QList<Message *> rows;
    QPointer<Message> streamingMessage;
    QList<QMetaObject::Connection> streamingConnections;
    bool isStreaming = false;
};
