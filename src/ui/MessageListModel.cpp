#include "ui/MessageListModel.h"

#include "markdown/BlockParts.h"
#include "markdown/MarkdownParser.h"
#include "model/Conversation.h"
#include "model/Message.h"
#include "ui/MarkdownBlockFields.h"
#include "ui/ToolCallCard.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <variant>

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

QString pieceName(MessageListModel::Piece piece)
{
    switch (piece) {
    case MessageListModel::Piece::user:
        return QStringLiteral("user");
    case MessageListModel::Piece::tools:
        return QStringLiteral("tools");
    case MessageListModel::Piece::block:
        return QStringLiteral("block");
    case MessageListModel::Piece::typing:
        return QStringLiteral("typing");
    case MessageListModel::Piece::copy:
        return QStringLiteral("copy");
    }
    return {};
}

// What the list shows of a reply that is still arriving. A last line that may open a code block
// ("`") or be a table row ("|") waits for its newline, so that its block neither changes kind nor
// jumps in height while the line is typed.
QString settledText(const QString &content)
{
    const qsizetype lineStart = content.lastIndexOf(QLatin1Char('\n')) + 1;
    const QStringView lastLine = QStringView(content).sliced(lineStart);
    if (lastLine.startsWith(u'`') || lastLine.startsWith(u'|'))
        return content.first(lineStart);
    return content;
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

MessageListModel::~MessageListModel() = default;

bool MessageListModel::isVisible(const Message &message, bool isStreaming)
{
    if (message.role() == MessageRole::user)
        return hasText(message) || hasImage(message);
    return hasText(message) || !message.toolCalls().isEmpty() || isStreaming;
}

std::unique_ptr<MessageListModel::Entry> MessageListModel::makeEntry(Message *message,
                                                                     bool isStreamingEntry) const
{
    auto entry = std::make_unique<Entry>();
    entry->message = message;
    entry->isStreaming = isStreamingEntry;
    // A user's message is drawn whole, in one bubble.
    if (message->role() != MessageRole::user) {
        if (isStreamingEntry) {
            entry->incremental = std::make_unique<IncrementalMarkdown>();
            entry->shown.set(settledText(message->content()));
            entry->incremental->update(entry->shown.utf8());
        } else {
            entry->blocks = MarkdownParser::parseBlocks(message->content().toStdString());
        }
    }
    entry->rows = piecesOf(*entry, 0);
    return entry;
}

std::vector<MessageListModel::Row> MessageListModel::piecesOf(Entry &entry,
                                                              std::size_t firstChangedBlock) const
{
    const std::vector<MarkdownBlock> &blocks = entry.allBlocks();
    entry.parts.resize(std::min(entry.parts.size(), firstChangedBlock));
    for (std::size_t block = entry.parts.size(); block < blocks.size(); ++block)
        entry.parts.push_back(BlockParts::ranges(blocks[block]));

    const Message &message = *entry.message;
    const bool streams = entry.isStreaming && isStreaming;
    std::vector<Row> rows;
    if (!isVisible(message, streams))
        return rows;
    if (message.role() == MessageRole::user) {
        rows.push_back({Piece::user});
        return rows;
    }
    if (!message.toolCalls().isEmpty())
        rows.push_back({Piece::tools});
    if (hasText(message)) {
        for (std::size_t block = 0; block < blocks.size(); ++block) {
            const std::vector<BlockParts::Range> &ranges = entry.parts[block];
            for (std::size_t part = 0; part < ranges.size(); ++part) {
                // Only the blocks that changed are looked at again; the others keep their
                // signatures, found in the rows the entry has.
                Row row{Piece::block, static_cast<int>(block), static_cast<int>(part)};
                const std::size_t at = rows.size();
                if (block < firstChangedBlock && at < entry.rows.size() &&
                    entry.rows[at].sameRow(row))
                    row.signature = entry.rows[at].signature;
                else
                    row.signature = std::hash<std::string>()(
                        MarkdownBlockFields::source(BlockParts::part(blocks[block], ranges[part])));
                rows.push_back(row);
            }
        }
    }
    if (streams)
        rows.push_back({Piece::typing});
    else if (!entry.isStreaming && hasText(message))
        rows.push_back({Piece::copy});
    return rows;
}

void MessageListModel::renumber()
{
    int row = 0;
    for (const auto &entry : entries) {
        entry->firstRow = row;
        row += static_cast<int>(entry->rows.size());
    }
    rowTotal = row;
}

MessageListModel::Entry *MessageListModel::streamingEntry() const
{
    if (entries.empty() || !entries.back()->isStreaming)
        return nullptr;
    return entries.back().get();
}

const MessageListModel::Entry *MessageListModel::entryAt(int row) const
{
    const auto after = std::upper_bound(
        entries.begin(), entries.end(), row,
        [](int wanted, const std::unique_ptr<Entry> &entry) { return wanted < entry->firstRow; });
    // Entries without rows share their first row with the next; take the one that has it.
    for (auto at = after; at != entries.begin();) {
        --at;
        if (row < (*at)->firstRow + static_cast<int>((*at)->rows.size()))
            return at->get();
    }
    return nullptr;
}

void MessageListModel::setConversation(Conversation *newConversation)
{
    if (newConversation == conversation)
        return;
    // From no messages to no messages there is nothing to redraw.
    const bool staysEmpty =
        entries.empty() && (!newConversation || newConversation->sortedMessages().isEmpty());
    if (!staysEmpty)
        beginResetModel();
    disconnect(conversationConnection);
    conversation = newConversation;
    std::unique_ptr<Entry> streaming;
    if (!entries.empty() && entries.back()->isStreaming)
        streaming = std::move(entries.back());
    entries.clear();
    if (newConversation) {
        for (Message *message : newConversation->sortedMessages())
            entries.push_back(makeEntry(message, false));
        conversationConnection = connect(newConversation, &Conversation::sortedMessagesChanged,
                                         this, &MessageListModel::syncMessages);
    }
    if (streaming)
        entries.push_back(std::move(streaming));
    renumber();
    if (!staysEmpty)
        endResetModel();
}

void MessageListModel::syncMessages()
{
    const Conversation *current = conversation.data();
    if (current == nullptr)
        return;
    const QList<Message *> sorted = current->sortedMessages();
    QList<Message *> shown;
    for (const auto &entry : entries) {
        if (!entry->isStreaming)
            shown.append(entry->message);
    }
    if (!onlyInserted(shown, sorted)) {
        beginResetModel();
        std::unique_ptr<Entry> streaming;
        if (streamingEntry() != nullptr)
            streaming = std::move(entries.back());
        entries.clear();
        for (Message *message : sorted)
            entries.push_back(makeEntry(message, false));
        if (streaming)
            entries.push_back(std::move(streaming));
        renumber();
        endResetModel();
        return;
    }
    for (qsizetype at = 0; at < sorted.size(); ++at) {
        const auto position = static_cast<std::size_t>(at);
        if (position < entries.size() && entries[position]->message == sorted[at])
            continue;
        insertEntry(position, makeEntry(sorted[at], false));
    }
}

void MessageListModel::insertEntry(std::size_t at, std::unique_ptr<Entry> entry)
{
    const int first = at < entries.size() ? entries[at]->firstRow : rowTotal;
    const int count = static_cast<int>(entry->rows.size());
    if (count > 0)
        beginInsertRows({}, first, first + count - 1);
    entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(at), std::move(entry));
    renumber();
    if (count > 0)
        endInsertRows();
}

void MessageListModel::removeEntry(std::size_t at)
{
    const Entry &entry = *entries[at];
    const int count = static_cast<int>(entry.rows.size());
    if (count > 0)
        beginRemoveRows({}, entry.firstRow, entry.firstRow + count - 1);
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(at));
    renumber();
    if (count > 0)
        endRemoveRows();
}

void MessageListModel::setStreamingMessage(Message *message)
{
    Entry *current = streamingEntry();
    if ((current ? current->message : nullptr) == message)
        return;
    for (const auto &connection : std::as_const(streamingConnections))
        disconnect(connection);
    streamingConnections.clear();
    if (current)
        removeEntry(entries.size() - 1);
    if (!message)
        return;
    insertEntry(entries.size(), makeEntry(message, true));
    streamingConnections = {
        connect(message, &Message::contentChanged, this,
                &MessageListModel::streamingContentChanged),
        connect(message, &Message::toolCallsChanged, this,
                [this] {
                    Entry &entry = *streamingEntry();
                    updateRows(entry, piecesOf(entry, entry.allBlocks().size()), true);
                }),
    };
}

void MessageListModel::streamingContentChanged()
{
    Entry &entry = *streamingEntry();
    if (!entry.shown.set(settledText(entry.message->content())))
        return;
    const std::size_t firstChanged = entry.incremental->update(entry.shown.utf8());
    updateRows(entry, piecesOf(entry, firstChanged), false);
}

void MessageListModel::setStreaming(bool streaming)
{
    if (streaming == isStreaming)
        return;
    isStreaming = streaming;
    if (Entry *entry = streamingEntry())
        updateRows(*entry, piecesOf(*entry, entry->allBlocks().size()), false);
}

void MessageListModel::setRetryOffered(bool offered)
{
    retryOffered = offered;
}

void MessageListModel::updateRows(Entry &entry, std::vector<Row> rows, bool toolsChanged)
{
    std::size_t common = 0;
    while (common < entry.rows.size() && common < rows.size() &&
           entry.rows[common].sameRow(rows[common]))
        ++common;
    for (std::size_t at = 0; at < common; ++at) {
        const bool dirty = rows[at].signature != entry.rows[at].signature ||
                           (rows[at].piece == Piece::tools && toolsChanged);
        entry.rows[at].signature = rows[at].signature;
        if (dirty) {
            const QModelIndex changed = index(entry.firstRow + static_cast<int>(at));
            emit dataChanged(changed, changed);
        }
    }
    const int first = entry.firstRow + static_cast<int>(common);
    if (entry.rows.size() > common) {
        beginRemoveRows({}, first, entry.firstRow + static_cast<int>(entry.rows.size()) - 1);
        entry.rows.resize(common);
        renumber();
        endRemoveRows();
    }
    if (rows.size() > common) {
        beginInsertRows({}, first, entry.firstRow + static_cast<int>(rows.size()) - 1);
        entry.rows = std::move(rows);
        renumber();
        endInsertRows();
    }
}

int MessageListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rowTotal;
}

QVariant MessageListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Entry *entry = entryAt(index.row());
    if (entry == nullptr)
        return {};
    const auto at = static_cast<std::size_t>(index.row() - entry->firstRow);
    const Row &row = entry->rows[at];
    const Message &message = *entry->message;
    const bool isUser = message.role() == MessageRole::user;
    const std::vector<MarkdownBlock> &blocks = entry->allBlocks();
    std::optional<MarkdownBlock> part;
    std::optional<BlockParts::Range> range;
    if (row.piece == Piece::block) {
        const auto blockIndex = static_cast<std::size_t>(row.block);
        range = entry->parts[blockIndex][static_cast<std::size_t>(row.part)];
        part = BlockParts::part(blocks[blockIndex], *range);
    }
    const MarkdownBlock *block = part ? &*part : nullptr;
    const bool isLastPart = block && static_cast<std::size_t>(row.part) + 1 ==
                                         entry->parts[static_cast<std::size_t>(row.block)].size();
    switch (role) {
    case MessageIdRole:
        return entry->isStreaming ? QStringLiteral("streaming") : message.id();
    case IsUserRole:
        return isUser;
    case PieceRole:
        return pieceName(row.piece);
    case IsFirstPieceRole:
        return at == 0;
    case BlockKindRole:
        return block ? MarkdownBlockFields::kind(*block) : QString();
    case TextRole:
        return block ? MarkdownBlockFields::text(*block, isUser) : QString();
    case ItemsRole:
        return block ? MarkdownBlockFields::items(*block, isUser) : QStringList();
    case HeadersRole:
        return block ? MarkdownBlockFields::headers(*block) : QStringList();
    case RowsRole:
        return block ? MarkdownBlockFields::rows(*block) : QVariantList();
    case IsFirstBlockRole:
        return row.block == 0 && row.part == 0;
    case IsLastBlockRole:
        return isLastPart && row.block == static_cast<int>(blocks.size()) - 1;
    case IsOnlyBlockRole:
        return block && blocks.size() == 1 && entry->parts.front().size() == 1;
    case IsContinuationRole:
        return row.part > 0;
    case FirstNumberRole:
        return range ? static_cast<int>(range->begin) + 1 : 1;
    case WholeCodeRole:
        if (block && std::holds_alternative<MarkdownBlock::CodeBlock>(block->kind))
            return MarkdownBlockFields::text(blocks[static_cast<std::size_t>(row.block)], false);
        return QString();
    case ToolCallsRole:
        return row.piece == Piece::tools ? toolCallValues(message) : QVariantList();
    case ContentRole:
        return row.piece == Piece::user || row.piece == Piece::copy ? message.content() : QString();
    case HasTextRole:
        return hasText(message);
    case HasImageRole:
        return hasImage(message);
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
        {MessageIdRole, "messageId"},
        {IsUserRole, "isUser"},
        {PieceRole, "piece"},
        {IsFirstPieceRole, "isFirstPiece"},
        {BlockKindRole, "blockKind"},
        {TextRole, "text"},
        {ItemsRole, "items"},
        {HeadersRole, "headers"},
        {RowsRole, "rows"},
        {IsFirstBlockRole, "isFirstBlock"},
        {IsLastBlockRole, "isLastBlock"},
        {IsOnlyBlockRole, "isOnlyBlock"},
        {IsContinuationRole, "isContinuation"},
        {FirstNumberRole, "firstNumber"},
        {WholeCodeRole, "wholeCode"},
        {ToolCallsRole, "toolCalls"},
        {ContentRole, "content"},
        {HasTextRole, "hasText"},
        {HasImageRole, "hasImage"},
        {ImageSourceRole, "imageSource"},
    };
}
