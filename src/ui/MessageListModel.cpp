#include "ui/MessageListModel.h"

#include "markdown/BlockParts.h"
#include "markdown/InlineMarkdown.h"
#include "markdown/MarkdownParser.h"
#include "model/Conversation.h"
#include "model/Message.h"
#include "ui/MarkdownBlockFields.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
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

QString kindName(MessageListModel::Kind kind)
{
    switch (kind) {
    case MessageListModel::Kind::user:
        return QStringLiteral("user");
    case MessageListModel::Kind::tools:
        return QStringLiteral("tools");
    case MessageListModel::Kind::block:
        return QStringLiteral("block");
    case MessageListModel::Kind::typing:
        return QStringLiteral("typing");
    case MessageListModel::Kind::caption:
        return QStringLiteral("caption");
    case MessageListModel::Kind::copy:
        return QStringLiteral("copy");
    case MessageListModel::Kind::retry:
        return QStringLiteral("retry");
    }
    return {};
}

// The roles that follow from what a row of that kind shows.
QList<int> contentRoles(MessageListModel::Kind kind)
{
    switch (kind) {
    case MessageListModel::Kind::block:
        return {MessageListModel::BlockKindRole, MessageListModel::TextRole,
                MessageListModel::ItemsRole,     MessageListModel::HeadersRole,
                MessageListModel::RowsRole,      MessageListModel::FirstNumberRole};
    case MessageListModel::Kind::caption:
        return {MessageListModel::TextRole};
    case MessageListModel::Kind::copy:
        return {MessageListModel::ContentRole};
    default:
        return {};
    }
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

MessageListModel::Entry::~Entry()
{
    for (const QMetaObject::Connection &connection : std::as_const(connections))
        QObject::disconnect(connection);
}

MessageListModel::MessageListModel(QObject *parent)
    : QAbstractListModel(parent)
{}

MessageListModel::~MessageListModel() = default;

bool MessageListModel::isVisible(const Message &message, bool isStreaming)
{
    if (message.role() == MessageRole::user)
        return hasText(message) || hasImage(message);
    return hasText(message) || !message.toolCalls().isEmpty() || isStreaming ||
           message.ending() != Message::Ending::complete;
}

QString MessageListModel::caption(const Message &message)
{
    switch (message.ending()) {
    case Message::Ending::complete:
        return {};
    case Message::Ending::incomplete:
        return QStringLiteral("Incomplete: the connection closed before the reply was finished");
    case Message::Ending::stopped:
        return QStringLiteral("Stopped");
    case Message::Ending::failed:
        return QStringLiteral("Not finished: the reply failed");
    }
    return {};
}

std::unique_ptr<MessageListModel::Entry> MessageListModel::makeEntry(Message *message,
                                                                     bool isStreamingEntry)
{
    auto entry = std::make_unique<Entry>();
    follow(*entry, message, isStreamingEntry);
    entry->rows = rowsOf(*entry, 0);
    return entry;
}

void MessageListModel::follow(Entry &entry, Message *message, bool isStreamingEntry)
{
    for (const QMetaObject::Connection &connection : std::as_const(entry.connections))
        disconnect(connection);
    entry.connections.clear();
    entry.message = message;
    entry.isStreaming = isStreamingEntry;
    entry.incremental.reset();
    entry.shown = {};
    entry.blocks.clear();
    // A user's message is drawn whole, in one bubble, and does not change.
    if (message->role() == MessageRole::user)
        return;
    if (isStreamingEntry) {
        entry.incremental = std::make_unique<IncrementalMarkdown>();
        entry.shown.set(settledText(message->content()));
        entry.incremental->update(entry.shown.utf8());
    } else {
        entry.blocks = MarkdownParser::parseBlocks(message->content().toStdString());
    }
    if (!entry.tools)
        entry.tools.reset(new ToolCallListModel(this));
    entry.tools->setToolCalls(message->toolCalls());

    Entry *const followed = &entry;
    const auto updateAll = [this, followed] {
        updateRows(*followed, rowsOf(*followed, followed->allBlocks().size()));
    };
    entry.connections = {
        connect(message, &Message::contentChanged, this,
                [this, followed] {
                    if (followed->isStreaming)
                        streamingContentChanged(*followed);
                    else
                        messageChanged(*followed);
                }),
        connect(message, &Message::toolCallsChanged, this,
                [followed, updateAll] {
                    followed->tools->setToolCalls(followed->message->toolCalls());
                    updateAll();
                }),
        connect(message, &Message::endingChanged, this, updateAll),
    };
}

std::vector<MessageListModel::Row> MessageListModel::rowsOf(Entry &entry,
                                                            std::size_t firstChangedBlock) const
{
    const std::vector<MarkdownBlock> &blocks = entry.allBlocks();
    entry.parts.resize(std::min(entry.parts.size(), firstChangedBlock));
    // A long paragraph's parts follow it as it grows: they are kept with its index.
    entry.paragraphs.resize(blocks.size());
    for (std::size_t block = entry.parts.size(); block < blocks.size(); ++block)
        entry.parts.push_back(partsOf(entry, block));

    const Message &message = *entry.message;
    const bool streams = entry.isStreaming && isStreaming;
    std::vector<Row> rows;
    if (!isVisible(message, streams))
        return rows;
    if (message.role() == MessageRole::user) {
        rows.push_back({Kind::user});
        rows.front().place.isFirstPiece = true;
        return rows;
    }
    if (!message.toolCalls().isEmpty())
        rows.push_back({Kind::tools});
    if (hasText(message)) {
        for (std::size_t block = 0; block < blocks.size(); ++block) {
            const std::vector<BlockParts::Range> &ranges = entry.parts[block];
            const auto *code = std::get_if<MarkdownBlock::CodeBlock>(&blocks[block].kind);
            const std::size_t whole =
                code && block >= firstChangedBlock ? std::hash<std::string_view>()(code->code) : 0;
            for (std::size_t part = 0; part < ranges.size(); ++part) {
                // Only the blocks that changed are looked at again; the others keep their
                // signatures, found in the rows the entry has.
                Row row{Kind::block, static_cast<int>(block), static_cast<int>(part)};
                const std::size_t at = rows.size();
                if (block < firstChangedBlock && at < entry.rows.size() &&
                    entry.rows[at].sameRow(row)) {
                    row.signature = entry.rows[at].signature;
                    row.wholeSignature = entry.rows[at].wholeSignature;
                } else if (const ParagraphParts *paragraph = entry.paragraphs[block].get()) {
                    row.signature = qHash(paragraph->richText(part));
                } else {
                    row.signature = std::hash<std::string>()(
                        MarkdownBlockFields::source(BlockParts::part(blocks[block], ranges[part])));
                    // Only the first part copies the block's code.
                    row.wholeSignature = part == 0 ? whole : 0;
                }
                row.place.isFirstBlock = block == 0 && part == 0;
                row.place.isLastBlock = block + 1 == blocks.size() && part + 1 == ranges.size();
                row.place.isOnlyBlock = blocks.size() == 1 && ranges.size() == 1;
                rows.push_back(row);
            }
        }
    }
    if (streams) {
        rows.push_back({Kind::typing});
    } else {
        if (message.ending() != Message::Ending::complete)
            rows.push_back({Kind::caption, -1, 0, static_cast<std::size_t>(message.ending())});
        if (!entry.isStreaming && hasText(message))
            rows.push_back({Kind::copy, -1, 0, qHash(message.content())});
    }
    if (!rows.empty())
        rows.front().place.isFirstPiece = true;
    return rows;
}

std::vector<BlockParts::Range> MessageListModel::partsOf(Entry &entry, std::size_t block) const
{
    const MarkdownBlock &markdown = entry.allBlocks()[block];
    const auto *paragraph = std::get_if<MarkdownBlock::Paragraph>(&markdown.kind);
    if (!paragraph || m_textWidth <= 0 || paragraph->text.size() <= cutParagraphsFrom) {
        entry.paragraphs[block].reset();
        return BlockParts::ranges(markdown);
    }
    std::unique_ptr<ParagraphParts> &parts = entry.paragraphs[block];
    if (!parts)
        parts = std::make_unique<ParagraphParts>();
    parts->update(InlineMarkdown::runs(paragraph->text), m_textWidth);
    std::vector<BlockParts::Range> ranges;
    for (std::size_t part = 0; part < parts->count(); ++part)
        ranges.push_back({part, part + 1});
    return ranges;
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
    disconnect(conversationConnection);
    conversation = newConversation;
    if (newConversation) {
        conversationConnection = connect(newConversation, &Conversation::sortedMessagesChanged,
                                         this, &MessageListModel::syncMessages);
    }
    // From no messages to no messages there is nothing to redraw.
    const bool staysEmpty =
        entries.empty() && (!newConversation || newConversation->sortedMessages().isEmpty());
    if (!staysEmpty)
        rebuild();
}

void MessageListModel::rebuild()
{
    beginResetModel();
    std::unique_ptr<Entry> streaming;
    if (streamingEntry() != nullptr)
        streaming = std::move(entries.back());
    entries.clear();
    if (const Conversation *current = conversation.data()) {
        for (Message *message : current->sortedMessages())
            entries.push_back(makeEntry(message, false));
    }
    if (streaming)
        entries.push_back(std::move(streaming));
    renumber();
    endResetModel();
}

void MessageListModel::syncMessages()
{
    const Conversation *current = conversation.data();
    if (current == nullptr)
        return;
    const QList<Message *> sorted = current->sortedMessages();
    // Messages that left the conversation leave the list, and the rest stay where they are.
    for (std::size_t at = entries.size(); at-- > 0;) {
        if (!entries[at]->isStreaming && !sorted.contains(entries[at]->message))
            removeEntry(at);
    }
    QList<Message *> shown;
    for (const auto &entry : entries) {
        if (!entry->isStreaming)
            shown.append(entry->message);
    }
    if (!onlyInserted(shown, sorted)) {
        rebuild();
        return;
    }
    for (qsizetype at = 0; at < sorted.size(); ++at) {
        const auto position = static_cast<std::size_t>(at);
        const bool isLast = at + 1 == sorted.size();
        if (position < entries.size() && !entries[position]->isStreaming &&
            entries[position]->message == sorted[at])
            continue;
        // An assistant's message that joins the end while a reply streams is a turn of that
        // reply: it takes over the rows that showed it.
        Entry *streaming = streamingEntry();
        if (streaming && isLast && sorted[at]->role() == MessageRole::assistant) {
            adopt(*streaming, sorted[at]);
            continue;
        }
        insertEntry(position, makeEntry(sorted[at], false));
    }
}

void MessageListModel::adopt(Entry &entry, Message *message)
{
    const std::unique_ptr<IncrementalMarkdown> streamed = std::move(entry.incremental);
    follow(entry, message, false);
    const std::vector<MarkdownBlock> none;
    const std::vector<MarkdownBlock> &before = streamed ? streamed->blocks() : none;
    const auto firstChanged =
        std::mismatch(before.begin(), before.end(), entry.blocks.begin(), entry.blocks.end())
            .first -
        before.begin();
    updateRows(entry, rowsOf(entry, static_cast<std::size_t>(firstChanged)));
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
    if (current)
        removeEntry(entries.size() - 1);
    if (message)
        insertEntry(entries.size(), makeEntry(message, true));
}

void MessageListModel::streamingContentChanged(Entry &entry)
{
    if (!entry.shown.set(settledText(entry.message->content())))
        return;
    const std::size_t firstChanged = entry.incremental->update(entry.shown.utf8());
    updateRows(entry, rowsOf(entry, firstChanged));
}

void MessageListModel::messageChanged(Entry &entry)
{
    std::vector<MarkdownBlock> blocks =
        MarkdownParser::parseBlocks(entry.message->content().toStdString());
    const auto firstChanged =
        std::mismatch(entry.blocks.begin(), entry.blocks.end(), blocks.begin(), blocks.end())
            .first -
        entry.blocks.begin();
    entry.blocks = std::move(blocks);
    updateRows(entry, rowsOf(entry, static_cast<std::size_t>(firstChanged)));
}

void MessageListModel::setStreaming(bool streaming)
{
    if (streaming == isStreaming)
        return;
    isStreaming = streaming;
    if (Entry *entry = streamingEntry())
        updateRows(*entry, rowsOf(*entry, entry->allBlocks().size()));
}

void MessageListModel::setTextWidth(qreal width)
{
    if (width == m_textWidth)
        return;
    m_textWidth = width;
    for (const auto &entry : entries)
        updateRows(*entry, rowsOf(*entry, 0));
    emit textWidthChanged();
}

void MessageListModel::setRetryOffered(bool offered)
{
    if (offered == retryOffered)
        return;
    if (offered)
        beginInsertRows({}, rowTotal, rowTotal);
    else
        beginRemoveRows({}, rowTotal, rowTotal);
    retryOffered = offered;
    if (offered)
        endInsertRows();
    else
        endRemoveRows();
}

void MessageListModel::emitChanged(int row, const Row &before, const Row &after)
{
    QList<int> roles;
    if (after.signature != before.signature)
        roles = contentRoles(after.kind);
    if (after.wholeSignature != before.wholeSignature)
        roles.append(WholeCodeRole);
    if (!(after.place == before.place))
        roles.append({IsFirstPieceRole, IsFirstBlockRole, IsLastBlockRole, IsOnlyBlockRole});
    if (!roles.isEmpty())
        emit dataChanged(index(row), index(row), roles);
}

void MessageListModel::updateRows(Entry &entry, std::vector<Row> rows)
{
    const std::vector<Row> before = entry.rows;
    std::vector<Row> &current = entry.rows;
    std::size_t head = 0;
    while (head < before.size() && head < rows.size() && before[head].sameRow(rows[head]))
        ++head;
    std::size_t tail = 0;
    while (tail < before.size() - head && tail < rows.size() - head &&
           before[before.size() - 1 - tail].sameRow(rows[rows.size() - 1 - tail]))
        ++tail;

    // The rows that stay answer as they now are from the first signal on, so that a view
    // reading them while rows come or go never keeps where they were.
    const auto rowsHead = rows.begin() + static_cast<std::ptrdiff_t>(head);
    const auto rowsTail = rows.end() - static_cast<std::ptrdiff_t>(tail);
    std::copy(rows.begin(), rowsHead, current.begin());
    std::copy(rowsTail, rows.end(), current.end() - static_cast<std::ptrdiff_t>(tail));
    const int first = entry.firstRow + static_cast<int>(head);
    const std::size_t removed = before.size() - head - tail;
    const std::size_t added = rows.size() - head - tail;
    if (removed > 0) {
        beginRemoveRows({}, first, first + static_cast<int>(removed) - 1);
        const auto from = current.begin() + static_cast<std::ptrdiff_t>(head);
        current.erase(from, from + static_cast<std::ptrdiff_t>(removed));
        renumber();
        endRemoveRows();
    }
    if (added > 0) {
        beginInsertRows({}, first, first + static_cast<int>(added) - 1);
        current.insert(current.begin() + static_cast<std::ptrdiff_t>(head), rowsHead, rowsTail);
        renumber();
        endInsertRows();
    }
    for (std::size_t at = 0; at < head; ++at)
        emitChanged(entry.firstRow + static_cast<int>(at), before[at], rows[at]);
    for (std::size_t at = 0; at < tail; ++at) {
        const std::size_t row = head + added + at;
        emitChanged(entry.firstRow + static_cast<int>(row), before[before.size() - tail + at],
                    rows[row]);
    }
}

int MessageListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rowTotal + (retryOffered ? 1 : 0);
}

QVariant MessageListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (index.row() >= rowTotal)
        return role == KindRole ? kindName(Kind::retry) : QVariant();
    const Entry *entry = entryAt(index.row());
    if (entry == nullptr)
        return {};
    const Row &row = entry->rows[static_cast<std::size_t>(index.row() - entry->firstRow)];
    const Message &message = *entry->message;

    std::optional<MarkdownBlock> part;
    std::optional<BlockParts::Range> range;
    const MarkdownBlock *whole = nullptr;
    const auto blockIndex = static_cast<std::size_t>(row.block);
    if (row.kind == Kind::block && blockIndex < entry->allBlocks().size() &&
        static_cast<std::size_t>(row.part) < entry->parts[blockIndex].size()) {
        whole = &entry->allBlocks()[blockIndex];
        range = entry->parts[blockIndex][static_cast<std::size_t>(row.part)];
        // Only code and lists are cut by BlockParts; a paragraph or a table is its own part.
        if (std::holds_alternative<MarkdownBlock::CodeBlock>(whole->kind) ||
            std::holds_alternative<MarkdownBlock::BulletList>(whole->kind) ||
            std::holds_alternative<MarkdownBlock::NumberedList>(whole->kind))
            part = BlockParts::part(*whole, *range);
    }
    const MarkdownBlock *block = part ? &*part : whole;
    const ParagraphParts *paragraph = block ? entry->paragraphs[blockIndex].get() : nullptr;
    switch (role) {
    case KindRole:
        return kindName(row.kind);
    case IsFirstPieceRole:
        return row.place.isFirstPiece;
    case BlockKindRole:
        return block ? MarkdownBlockFields::kind(*block) : QString();
    case TextRole:
        if (row.kind == Kind::caption)
            return caption(message);
        if (paragraph)
            return paragraph->richText(static_cast<std::size_t>(row.part));
        return block ? MarkdownBlockFields::text(*block, false) : QString();
    case ItemsRole:
        return block ? MarkdownBlockFields::items(*block, false) : QStringList();
    case HeadersRole:
        return block ? MarkdownBlockFields::headers(*block) : QStringList();
    case RowsRole:
        return block ? MarkdownBlockFields::rows(*block) : QVariantList();
    case IsFirstBlockRole:
        return row.place.isFirstBlock;
    case IsLastBlockRole:
        return row.place.isLastBlock;
    case IsOnlyBlockRole:
        return row.place.isOnlyBlock;
    case IsContinuationRole:
        return row.part > 0;
    case FirstNumberRole:
        return range && !paragraph ? static_cast<int>(range->begin) + 1 : 1;
    case WholeCodeRole:
        if (row.part == 0 && whole && std::holds_alternative<MarkdownBlock::CodeBlock>(whole->kind))
            return MarkdownBlockFields::text(*whole, false);
        return QString();
    case ToolCallsRole:
        if (row.kind == Kind::tools)
            return QVariant::fromValue(entry->tools.get());
        return {};
    case ContentRole:
        return row.kind == Kind::user || row.kind == Kind::copy ? message.content() : QString();
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
        {KindRole, "kind"},
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
