#include "ui/MessageListModel.h"

#include "model/Conversation.h"
#include "model/Message.h"
#include "ui/ToolCallCard.h"

#include <algorithm>

namespace {

bool hasText(const Message &message)
{
    return !message.content().trimmed().isEmpty();
}

bool hasImage(const Message &message)
{
    return message.imageData().has_value();
}

QVariantList toolCallValues(const Message &message)
{
    QVariantList values;
    values.reserve(message.toolCalls().size());
    for (const ToolCall &toolCall : message.toolCalls())
        values.append(ToolCallCard::present(toolCall));
    return values;
}

// Whether `before` appears in `after` in the same order, so the change is insertions only.
bool onlyInserted(const QList<Message *> &before, const QList<Message *> &after)
{
    auto next = after.begin();
    for (Message *message : before) {
        next = std::find(next, after.end(), message);
        if (next == after.end())
            return false;
        ++next;
    }
    return true;
}

} // namespace

MessageListModel::MessageListModel(QObject *parent)
    : QAbstractListModel(parent)
{}

bool MessageListModel::isVisible(const Message &message, bool isStreaming)
{
    if (message.role() == MessageRole::user)
        return hasText(message) || hasImage(message);
    return hasText(message) || !message.toolCalls().isEmpty() || isStreaming;
}

void MessageListModel::setConversation(Conversation *newConversation)
{
    if (newConversation == conversation)
        return;
    // From no messages to no messages there is nothing to redraw.
    const bool staysEmpty =
        rows.isEmpty() && (!newConversation || newConversation->sortedMessages().isEmpty());
    if (!staysEmpty)
        beginResetModel();
    disconnect(conversationConnection);
    conversation = newConversation;
    rows.clear();
    if (newConversation) {
        rows = newConversation->sortedMessages();
        conversationConnection = connect(newConversation, &Conversation::sortedMessagesChanged,
                                         this, &MessageListModel::syncMessages);
    }
    if (!staysEmpty)
        endResetModel();
}

void MessageListModel::syncMessages()
{
    const Conversation *current = conversation.data();
    if (current == nullptr)
        return;
    const QList<Message *> sorted = current->sortedMessages();
    if (!onlyInserted(rows, sorted)) {
        beginResetModel();
        rows = sorted;
        endResetModel();
        return;
    }
    for (int row = 0; row < sorted.size(); ++row) {
        if (row < rows.size() && rows[row] == sorted[row])
            continue;
        beginInsertRows({}, row, row);
        rows.insert(row, sorted[row]);
        endInsertRows();
    }
}

void MessageListModel::setStreamingMessage(Message *message)
{
    if (message == streamingMessage)
        return;
    for (const auto &connection : std::as_const(streamingConnections))
        disconnect(connection);
    streamingConnections.clear();

    const bool had = streamingMessage != nullptr;
    if (had && message == nullptr) {
        beginRemoveRows({}, streamingRow(), streamingRow());
        streamingMessage = nullptr;
        endRemoveRows();
        return;
    }
    if (!had) {
        beginInsertRows({}, static_cast<int>(rows.size()), static_cast<int>(rows.size()));
        streamingMessage = message;
        endInsertRows();
    } else {
        // The next turn of the same reply: the row stays, only what it shows changes.
        streamingMessage = message;
        streamingRowChanged({});
    }
    streamingConnections = {
        connect(message, &Message::contentChanged, this,
                [this] {
                    streamingRowChanged({ContentRole, HasTextRole, IsVisibleRole});
                }),
        connect(message, &Message::toolCallsChanged, this,
                [this] {
                    streamingRowChanged({ToolCallsRole, IsVisibleRole});
                }),
    };
}

void MessageListModel::setStreaming(bool streaming)
{
    if (streaming == isStreaming)
        return;
    isStreaming = streaming;
    if (streamingMessage)
        streamingRowChanged({IsStreamingRole, IsVisibleRole});
}

int MessageListModel::streamingRow() const
{
    return static_cast<int>(rows.size());
}

void MessageListModel::streamingRowChanged(const QList<int> &roles)
{
    const QModelIndex at = index(streamingRow());
    emit dataChanged(at, at, roles);
}

int MessageListModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return static_cast<int>(rows.size()) + (streamingMessage ? 1 : 0);
}

QVariant MessageListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const bool isStreamingRow = index.row() == streamingRow();
    const Message &message = isStreamingRow ? *streamingMessage : *rows[index.row()];
    const bool streams = isStreamingRow && isStreaming;
    switch (role) {
    case MessageIdRole:
        return isStreamingRow ? QStringLiteral("streaming") : message.id();
    case IsUserRole:
        return message.role() == MessageRole::user;
    case ContentRole:
        return message.content();
    case ToolCallsRole:
        return toolCallValues(message);
    case IsStreamingRole:
        return streams;
    case HasTextRole:
        return hasText(message);
    case HasImageRole:
        return hasImage(message);
    case IsVisibleRole:
        return isVisible(message, streams);
    case ImageSourceRole:
        if (!hasImage(message))
            return QString();
        return QString(QStringLiteral("data:image;base64,") +
                       QString::fromLatin1(message.imageData()->toBase64()));
    default:
        return {};
    }
}

QHash<int, QByteArray> MessageListModel::roleNames() const
{
    return {
        {MessageIdRole, "messageId"},     {IsUserRole, "isUser"},
        {ContentRole, "content"},         {ToolCallsRole, "toolCalls"},
        {IsStreamingRole, "isStreaming"}, {HasTextRole, "hasText"},
        {HasImageRole, "hasImage"},       {IsVisibleRole, "isBubbleVisible"},
        {ImageSourceRole, "imageSource"},
    };
}
