#pragma once

#include "markdown/BlockParts.h"
#include "markdown/IncrementalMarkdown.h"
#include "markdown/MarkdownBlock.h"
#include "ui/Utf8Mirror.h"

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <memory>
#include <vector>

class Conversation;
class Message;

// The rows of the chat: the conversation's messages by creation time, then the reply that is
// streaming in, each cut into pieces. A user's message is one piece; an assistant's is its tool
// group, one piece per block of its text (long blocks in parts, see BlockParts), the typing dots
// while it streams and its copy button once it has finished. A list view then keeps only the pieces
// on screen alive, however long a reply grows, and a streamed delta changes the last block's row
// (or adds one), never resetting the list; only switching to another conversation does.
class MessageListModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The chat screen's controller owns the message list")

public:
    enum class Piece
    {
        user,
        tools,
        block,
        typing,
        copy
    };

    enum Role
    {
        // The message's id; the streaming reply's is "streaming".
        MessageIdRole = Qt::UserRole + 1,
        IsUserRole,
        // "user", "tools", "block", "typing" or "copy".
        PieceRole,
        // The first piece of its message, which carries the avatar.
        IsFirstPieceRole,
        // Blocks: as MarkdownBlockFields gives them.
        BlockKindRole,
        TextRole,
        ItemsRole,
        HeadersRole,
        RowsRole,
        // Where the block sits in its bubble.
        IsFirstBlockRole,
        IsLastBlockRole,
        IsOnlyBlockRole,
        // A later part of a block cut into parts, which follows the part before without a gap.
        IsContinuationRole,
        // Numbered lists: the number of the part's first item.
        FirstNumberRole,
        // Code: all of the block's code, which its copy button copies.
        WholeCodeRole,
        // The tool group: one map per tool call, as ToolCallCard::present gives it.
        ToolCallsRole,
        // The user's bubble and the copy button: the message's text.
        ContentRole,
        HasTextRole,
        HasImageRole,
        // A data URL of the attached image, or empty.
        ImageSourceRole,
    };
    Q_ENUM(Role)

    explicit MessageListModel(QObject *parent = nullptr);
    ~MessageListModel() override;

    void setConversation(Conversation *conversation);
    void setStreamingMessage(Message *message);
    void setStreaming(bool isStreaming);
    // Whether the last exchange failed and offers to be sent again: a last row of its own.
    void setRetryOffered(bool offered);
    bool isRetryOffered() const { return retryOffered; }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // The bubble rule: a user message shows when it has text or an image; an assistant message
    // when it has text or tool calls, or while it streams.
    static bool isVisible(const Message &message, bool isStreaming);

private:
    struct Row
    {
        Piece piece;
        // The block's index in its message and the part of it; -1 for other pieces.
        int block = -1;
        int part = 0;
        // What a block's part shows, hashed: a row whose signature changes is redrawn.
        std::size_t signature = 0;

        bool sameRow(const Row &other) const
        {
            return piece == other.piece && block == other.block && part == other.part;
        }
    };

    struct Entry
    {
        Message *message = nullptr;
        bool isStreaming = false;
        // A finished message's blocks, parsed once.
        std::vector<MarkdownBlock> blocks;
        // What the list shows of the streaming reply so far, and its blocks, parsed as it grows.
        Utf8Mirror shown;
        std::unique_ptr<IncrementalMarkdown> incremental;
        // The parts of each block.
        std::vector<std::vector<BlockParts::Range>> parts;
        std::vector<Row> rows;
        int firstRow = 0;

        const std::vector<MarkdownBlock> &allBlocks() const
        {
            return incremental ? incremental->blocks() : blocks;
        }
    };

    void syncMessages();
    std::unique_ptr<Entry> makeEntry(Message *message, bool isStreamingEntry) const;
    // The entry's rows, after cutting its blocks from firstChangedBlock on into parts again.
    std::vector<Row> piecesOf(Entry &entry, std::size_t firstChangedBlock) const;
    void insertEntry(std::size_t at, std::unique_ptr<Entry> entry);
    void removeEntry(std::size_t at);
    // Gives the entry its new rows: the rows both have in common stay (and are redrawn when
    // what they show changed, the tool group when toolsChanged), the rest are removed or added.
    void updateRows(Entry &entry, std::vector<Row> rows, bool toolsChanged);
    void streamingContentChanged();
    void renumber();
    const Entry *entryAt(int row) const;
    Entry *streamingEntry() const;

    QPointer<Conversation> conversation;
    QMetaObject::Connection conversationConnection;
    std::vector<std::unique_ptr<Entry>> entries;
    QList<QMetaObject::Connection> streamingConnections;
    bool isStreaming = false;
    bool retryOffered = false;
    int rowTotal = 0;
};
