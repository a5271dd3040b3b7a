#include "ui/MessageListModel.h"

#include "markdown/InlineMarkdown.h"
#include "model/Conversation.h"
#include "model/Message.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTextDocument>
#include <gtest/gtest.h>
#include <ostream>

// Failures show lists of texts as text.
static void PrintTo(const QStringList &texts, std::ostream *out)
{
    *out << '[' << texts.join(QStringLiteral("|")).toStdString() << ']';
}

namespace {

ToolCall tool(const QString &id, const std::optional<QString> &result = std::nullopt)
{
    return {id, QStringLiteral("log_meal"), {}, result, !result.has_value()};
}

// A reply as the chat screen keeps it: the conversation, the reply streaming into its own
// message, and the list of both under a tester that aborts on the first broken rule of a model.
class MessageListModelTest : public testing::Test
{
protected:
    MessageListModelTest() { model.setConversation(&conversation); }

    // Each row as its kind, with what it shows in brackets: a block's text (plain), a caption.
    QStringList rows() const
    {
        QStringList shown;
        for (int row = 0; row < model.rowCount(); ++row) {
            const QModelIndex at = model.index(row);
            const QString kind = model.data(at, MessageListModel::KindRole).toString();
            QString text = model.data(at, MessageListModel::TextRole).toString();
            if (kind == QStringLiteral("user"))
                text = model.data(at, MessageListModel::ContentRole).toString();
            if (kind == QStringLiteral("tools")) {
                const auto *tools =
                    model.data(at, MessageListModel::ToolCallsRole).value<ToolCallListModel *>();
                text = QString::number(tools->rowCount());
            }
            QTextDocument document;
            document.setHtml(text);
            text = document.toPlainText();
            shown.append(text.isEmpty() ? kind : kind + QLatin1Char(':') + text);
        }
        return shown;
    }

    ToolCallListModel &tools(int row) const
    {
        return *model.data(model.index(row), MessageListModel::ToolCallsRole)
                    .value<ToolCallListModel *>();
    }

    void startReply()
    {
        reply = std::make_unique<Message>(MessageRole::assistant, QString());
        model.setStreamingMessage(reply.get());
    }

    // The turn the server completed, with the text and tools that streamed in.
    void completeTurn()
    {
        conversation.addMessage(
            new Message(MessageRole::assistant, reply->content(), reply->toolCalls()));
        startReply();
    }

    Conversation conversation;
    std::unique_ptr<Message> reply;
    MessageListModel model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

TEST_F(MessageListModelTest, ScriptedReplyShowsEachStepAsRowsOfItsKind)
{
    conversation.addMessage(new Message(MessageRole::user, QStringLiteral("Log my breakfast")));
    startReply();
    EXPECT_EQ(rows(), QStringList({"user:Log my breakfast"}));
    model.setStreaming(true);
    EXPECT_EQ(rows(), QStringList({"user:Log my breakfast", "typing"}));

    reply->setContent(QStringLiteral("Logged **eggs**."));
    reply->setContent(reply->content() + QStringLiteral("\n\n- toast"));
    EXPECT_EQ(rows(),
              QStringList({"user:Log my breakfast", "block:Logged eggs.", "block", "typing"}));
    reply->setToolCalls({tool(QStringLiteral("t1"))});
    reply->setToolCalls({tool(QStringLiteral("t1"), QStringLiteral("done"))});
    EXPECT_EQ(rows(), QStringList({"user:Log my breakfast", "tools:1", "block:Logged eggs.",
                                   "block", "typing"}));
    EXPECT_TRUE(tools(1)
                    .data(tools(1).index(0), ToolCallListModel::ToolCallRole)
                    .toMap()
                    .value(QStringLiteral("hasResult"))
                    .toBool());

    // Two completes: each turn becomes a message of the conversation, the second after more text.
    completeTurn();
    EXPECT_EQ(rows(), QStringList({"user:Log my breakfast", "tools:1", "block:Logged eggs.",
                                   "block", "copy", "typing"}));
    reply->setContent(QStringLiteral("Anything else?"));
    completeTurn();
    model.setStreamingMessage(nullptr);
    model.setStreaming(false);
    const QStringList finished = {
        "user:Log my breakfast", "tools:1", "block:Logged eggs.", "block", "copy",
        "block:Anything else?",  "copy"};
    EXPECT_EQ(rows(), finished);

    conversation.sortedMessages().last()->setEnding(Message::Ending::incomplete);
    EXPECT_EQ(rows().mid(5), QStringList({"block:Anything else?",
                                          "caption:Incomplete: the connection closed before the "
                                          "reply was finished",
                                          "copy"}));
    conversation.sortedMessages().last()->setEnding(Message::Ending::stopped);
    EXPECT_EQ(rows()[6], QStringLiteral("caption:Stopped"));
    conversation.sortedMessages().last()->setEnding(Message::Ending::complete);
    EXPECT_EQ(rows(), finished);

    model.setRetryOffered(true);
    EXPECT_EQ(rows(), finished + QStringList{"retry"});
    model.setRetryOffered(false);
    EXPECT_EQ(rows(), finished);

    // A send that fails after some text: the text stays as a message that says so.
    conversation.addMessage(new Message(MessageRole::user, QStringLiteral("And lunch?")));
    startReply();
    model.setStreaming(true);
    reply->setContent(QStringLiteral("Lunch was"));
    model.setStreaming(false);
    reply->setEnding(Message::Ending::failed);
    conversation.addMessage(reply.release());
    model.setStreamingMessage(nullptr);
    model.setRetryOffered(true);
    EXPECT_EQ(rows().mid(7),
              QStringList({"user:And lunch?", "block:Lunch was",
                           "caption:Not finished: the reply failed", "copy", "retry"}));
    // Retrying takes the failed reply away.
    conversation.removeMessage(conversation.sortedMessages().last());
    model.setRetryOffered(false);
    EXPECT_EQ(rows().mid(7), QStringList({"user:And lunch?"}));

    // A reply stopped before its first byte still says so, under the user's message.
    reply = std::make_unique<Message>(MessageRole::assistant, QString());
    reply->setEnding(Message::Ending::stopped);
    conversation.addMessage(reply.release());
    EXPECT_EQ(rows().mid(7), QStringList({"user:And lunch?", "caption:Stopped"}));
    EXPECT_TRUE(model.data(model.index(8), MessageListModel::IsFirstPieceRole).toBool());

    Conversation other;
    other.addMessage(new Message(MessageRole::user, QStringLiteral("Hello")));
    model.setConversation(&other);
    EXPECT_EQ(rows(), QStringList({"user:Hello"}));
    model.setConversation(nullptr);
    EXPECT_EQ(model.rowCount(), 0);
}

// A finished turn keeps the rows that showed it streaming, with their delegates: only the typing
// row goes. A row that stays is told only what changed about it.
TEST_F(MessageListModelTest, RowsOfAReplyStayThroughToolsNewBlocksAndItsCompletion)
{
    conversation.addMessage(new Message(MessageRole::user, QStringLiteral("Hi")));
    startReply();
    model.setStreaming(true);
    reply->setToolCalls({tool(QStringLiteral("t1"))});
    reply->setContent(QStringLiteral("First paragraph."));
    ToolCallListModel &cards = tools(1);
    cards.setExpanded(0, true);

    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    reply->setContent(reply->content() + QStringLiteral("\n\nSecond"));
    reply->setToolCalls(
        {tool(QStringLiteral("t1"), QStringLiteral("done")), tool(QStringLiteral("t2"))});
    EXPECT_EQ(removed.count(), 0);
    // The first paragraph learns it is no longer the last block, nothing else.
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex().row(), 2);
    EXPECT_FALSE(changed[0][2].value<QList<int>>().contains(MessageListModel::TextRole));

    completeTurn();
    model.setStreamingMessage(nullptr);
    model.setStreaming(false);
    for (const QList<QVariant> &rowsGone : std::as_const(removed))
        EXPECT_GE(rowsGone[1].toInt(), 4);
    EXPECT_EQ(rows(), QStringList({"user:Hi", "tools:2", "block:First paragraph.", "block:Second",
                                   "copy"}));
    EXPECT_EQ(&tools(1), &cards);
    EXPECT_TRUE(cards.data(cards.index(0), ToolCallListModel::IsExpandedRole).toBool());
    EXPECT_FALSE(cards.data(cards.index(1), ToolCallListModel::IsExpandedRole).toBool());
}

// A code block cut into parts copies all its code from its first part: only that part is told
// when the code grows.
TEST_F(MessageListModelTest, GrowingCodeBlockTellsOnlyItsFirstPartOfAllItsCode)
{
    startReply();
    model.setStreaming(true);
    QString code = QStringLiteral("```\n");
    for (int line = 0; line < 100; ++line)
        code += QStringLiteral("line %1\n").arg(line);
    reply->setContent(code);
    ASSERT_EQ(model.rowCount(), 4);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    reply->setContent(code + QStringLiteral("more"));
    for (const QList<QVariant> &rowChanged : std::as_const(changed)) {
        if (rowChanged[2].value<QList<int>>().contains(MessageListModel::WholeCodeRole)) {
            EXPECT_EQ(rowChanged[0].toModelIndex().row(), 0);
        }
    }
    EXPECT_EQ(model.data(model.index(1), MessageListModel::WholeCodeRole).toString(), QString());
    EXPECT_TRUE(model.data(model.index(0), MessageListModel::WholeCodeRole)
                    .toString()
                    .endsWith(QStringLiteral("more")));
}

// A view holds what it read of a row when the row came and when it was told the row changed.
// Whatever a reply does, what the view holds of each row's place in its bubble is what a list
// made afresh from the same messages answers.
TEST_F(MessageListModelTest, ViewKeepsEachRowsPlaceAsTheRowsMove)
{
    const auto place = [](const QAbstractItemModel &list, int row) {
        QString shown;
        for (const int role :
             {int(MessageListModel::KindRole), int(MessageListModel::IsFirstPieceRole),
              int(MessageListModel::IsFirstBlockRole), int(MessageListModel::IsLastBlockRole),
              int(MessageListModel::IsOnlyBlockRole)})
            shown += list.data(list.index(row, 0), role).toString() + QLatin1Char(' ');
        return shown;
    };
    QStringList held;
    QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex &, int first, int last) {
                         for (int row = first; row <= last; ++row)
                             held.insert(row, place(model, row));
                     });
    QObject::connect(
        &model, &QAbstractItemModel::rowsRemoved,
        [&](const QModelIndex &, int first, int last) { held.remove(first, last - first + 1); });
    QObject::connect(&model, &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex &first, const QModelIndex &last) {
                         for (int row = first.row(); row <= last.row(); ++row)
                             held[row] = place(model, row);
                     });
    const auto afresh = [&] {
        MessageListModel fresh;
        fresh.setTextWidth(model.textWidth());
        fresh.setConversation(&conversation);
        fresh.setStreamingMessage(reply.get());
        fresh.setStreaming(true);
        QStringList shown;
        for (int row = 0; row < fresh.rowCount(); ++row)
            shown.append(place(fresh, row));
        return shown;
    };

    model.setTextWidth(200);
    conversation.addMessage(new Message(MessageRole::user, QStringLiteral("Hi")));
    startReply();
    model.setStreaming(true);
    reply->setContent(QStringLiteral("First paragraph."));
    EXPECT_EQ(held, afresh());
    reply->setContent(reply->content() + QStringLiteral("\n\nSecond"));
    EXPECT_EQ(held, afresh());
    reply->setToolCalls({tool(QStringLiteral("t1"))});
    EXPECT_EQ(held, afresh());
    reply->setContent(reply->content() + QStringLiteral("\n\n"));
    for (int word = 0; reply->content().size() < 5 * 1024; ++word)
        reply->setContent(reply->content() + QStringLiteral("Word %1 ends. ").arg(word));
    EXPECT_EQ(held, afresh());
}

// A long paragraph is cut only where its lines start at the width the view gives it, and not at
// all while that width is not known.
TEST_F(MessageListModelTest, LongParagraphIsCutWhereItsLinesStart)
{
    startReply();
    model.setStreaming(true);
    for (int word = 0; reply->content().size() < 5 * 1024; ++word)
        reply->setContent(reply->content() + QStringLiteral("Word **%1** ends. ").arg(word));
    EXPECT_EQ(model.rowCount(), 2);

    for (const qreal width : {312.0, 200.0}) {
        model.setTextWidth(width);
        ParagraphParts parts;
        parts.update(InlineMarkdown::runs(reply->content().toStdString()), width);
        ASSERT_GT(parts.count(), 1u);
        ASSERT_EQ(model.rowCount(), int(parts.count()) + 1);
        for (std::size_t part = 0; part < parts.count(); ++part) {
            const QModelIndex row = model.index(int(part));
            EXPECT_EQ(model.data(row, MessageListModel::TextRole), parts.richText(part));
            EXPECT_EQ(model.data(row, MessageListModel::IsContinuationRole), part > 0);
        }
    }
}

} // namespace
