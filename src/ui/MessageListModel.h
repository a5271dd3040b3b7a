#pragma once

#include "markdown/BlockParts.h"
#include "markdown/IncrementalMarkdown.h"
#include "markdown/MarkdownBlock.h"
#include "ui/ParagraphParts.h"
#include "ui/ToolCallListModel.h"
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
// streaming in, each cut into rows of a kind. A user's message is one row; an assistant's is its
// tool group, one row per block of its text (long blocks in parts: code and lists as BlockParts
// cuts them, paragraphs where their lines start, see ParagraphParts), the typing dots while it
// streams, a caption when it ended before it was finished, and its copy button once it has
// finished. After all messages comes a row offering to retry a failed send.
// A list view keeps only the rows on screen alive, however long a reply grows. A streamed delta
// changes the last block's row (or adds one) and a finished turn takes over the rows of the reply
// it completes: a row that stays is told only which of its roles changed, so its delegate keeps
// its state (a selection, an expanded card). Only switching to another conversation resets the
// list.
class MessageListModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The chat screen's controller owns the message list")
    // The width the list's views lay a reply's paragraphs out at; long paragraphs are cut where
    // their lines start at this width. Until it is known (0) they are not cut.
    Q_PROPERTY(qreal textWidth READ textWidth WRITE setTextWidth NOTIFY textWidthChanged)

public:
    enum class Kind
    {
        user,
        tools,
        block,
        typing,
        caption,
        copy,
        retry
    };

    enum Role
    {
        // "user", "tools", "block", "typing", "caption", "copy" or "retry".
        KindRole = Qt::UserRole + 1,
        // The first row of its message, which carries the avatar.
        IsFirstPieceRole,
        // Blocks: as MarkdownBlockFields gives them. Captions: the caption's plain text.
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
        // The tool group: its cards, a ToolCallListModel.
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
    qreal textWidth() const { return m_textWidth; }
    void setTextWidth(qreal width);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // The bubble rule: a user message shows when it has text or an image; an assistant message
    // when it has text or tool calls, while it streams, or when it ended before it was finished
    // (its caption says how).
    static bool isVisible(const Message &message, bool isStreaming);
    // What the caption under a reply says about how it ended; empty for a complete one.
    static QString caption(const Message &message);
    // Paragraphs longer than this are laid out to find where they may be cut.
    static constexpr std::size_t cutParagraphsFrom = 2048;

signals:
    void textWidthChanged();

private:
    // Where a row sits in its message, which decides its corners and gaps.
    struct Place
    {
        bool isFirstPiece = false;
        bool isFirstBlock = false;
        bool isLastBlock = false;
        bool isOnlyBlock = false;

        friend bool operator==(const Place &, const Place &) = default;
    };

    struct Row
    {
        Kind kind;
        // The block's index in its message and the part of it; -1 for other kinds.
        int block = -1;
        int part = 0;
        // What the row shows, hashed: a row whose signature changes is redrawn.
        std::size_t signature = 0;
        // Code: all of the block's code, hashed, for the copy button of its first part.
        std::size_t wholeSignature = 0;
        Place place{};

        bool sameRow(const Row &other) const
        {
            return kind == other.kind && block == other.block && part == other.part;
        }
    };

    struct Entry
    {
        ~Entry();

        Message *message = nullptr;
        // Follows the reply that is streaming in.
        bool isStreaming = false;
        // A finished message's blocks, parsed once.
        std::vector<MarkdownBlock> blocks;
        // What the list shows of the streaming reply so far, and its blocks, parsed as it grows.
        Utf8Mirror shown;
        std::unique_ptr<IncrementalMarkdown> incremental;
        // The parts of each block: ranges of bytes or items (BlockParts), or of the parts of a
        // long paragraph, which paragraphs holds.
        std::vector<std::vector<BlockParts::Range>> parts;
        std::vector<std::unique_ptr<ParagraphParts>> paragraphs;
        // Handed to QML as a role: freed once the event loop has let go of the row.
        std::unique_ptr<ToolCallListModel, void (*)(ToolCallListModel *)> tools{
            nullptr, [](ToolCallListModel *model) { model->deleteLater(); }};
        std::vector<Row> rows;
        int firstRow = 0;
        QList<QMetaObject::Connection> connections;

        const std::vector<MarkdownBlock> &allBlocks() const
        {
            return incremental ? incremental->blocks() : blocks;
        }
    };

    void syncMessages();
    // Builds the rows of every message again: for another conversation, or messages reordered.
    void rebuild();
    std::unique_ptr<Entry> makeEntry(Message *message, bool isStreamingEntry);
    // Points the entry at its message: what it shows and the changes it follows.
    void follow(Entry &entry, Message *message, bool isStreamingEntry);
    // The entry's rows, after cutting its blocks from firstChangedBlock on into parts again.
    std::vector<Row> rowsOf(Entry &entry, std::size_t firstChangedBlock) const;
    // How the entry's block is cut into parts.
    std::vector<BlockParts::Range> partsOf(Entry &entry, std::size_t block) const;
    void insertEntry(std::size_t at, std::unique_ptr<Entry> entry);
    void removeEntry(std::size_t at);
    // Gives the entry its new rows: the rows both have at their start and at their end stay (and
    // are told which roles changed), the rest are removed or added.
    void updateRows(Entry &entry, std::vector<Row> rows);
    void emitChanged(int row, const Row &before, const Row &after);
    // A finished turn of the reply: the reply's entry becomes the message's, keeping its rows.
    void adopt(Entry &entry, Message *message);
    void streamingContentChanged(Entry &entry);
    // A message of the conversation changed: its text is parsed again in full.
    void messageChanged(Entry &entry);
    void renumber();
    const Entry *entryAt(int row) const;
    Entry *streamingEntry() const;

    QPointer<Conversation> conversation;
    QMetaObject::Connection conversationConnection;
    std::vector<std::unique_ptr<Entry>> entries;
    bool isStreaming = false;
    bool retryOffered = false;
    qreal m_textWidth = 0;
    // The rows of all messages, without the retry row.
    int rowTotal = 0;
};
