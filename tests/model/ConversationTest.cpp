#include "model/Conversation.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

Message *messageAt(double createdAt, const QString &content = {},
                   MessageRole role = MessageRole::user)
{
    static int next = 0;
    return new Message(QString("M%1").arg(++next), role, content, createdAt);
}

QString titleFor(const QString &content)
{
    Conversation conversation("C", std::nullopt, 100.0, 100.0);
    conversation.addMessage(messageAt(1, content));
    conversation.generateTitle();
    return conversation.title().value_or("<absent>");
}

TEST(Conversation, SortIsStableByCreationTimeAndSettingTheHeldValueNotifiesNothing)
{
    Conversation conversation("C", std::nullopt, 100.0, 100.0);
    const QList<Message *> added{messageAt(10), messageAt(10), messageAt(5), messageAt(20)};
    for (auto *message : added)
        conversation.addMessage(message);
    QSignalSpy titleSpy(&conversation, &Conversation::titleChanged);
    QSignalSpy updatedSpy(&conversation, &Conversation::updatedAtChanged);
    conversation.setTitle(std::nullopt);
    conversation.setTitle(QString(""));
    conversation.setTitle(QString(""));
    conversation.setUpdatedAt(conversation.updatedAt());

    EXPECT_EQ(conversation.sortedMessages(),
              (QList<Message *>{added[2], added[0], added[1], added[3]}));
    EXPECT_GT(conversation.updatedAt(), 100.0);
    EXPECT_EQ(titleSpy.count(), 1);
    EXPECT_EQ(updatedSpy.count(), 0);
}

TEST(Conversation, GeneratedTitleIsTheEarliestUserMessageAndNeverReplacesOne)
{
    Conversation conversation("C", std::nullopt, 100.0, 100.0);
    conversation.addMessage(messageAt(1, "Welcome", MessageRole::assistant));
    conversation.generateTitle();
    EXPECT_FALSE(conversation.title().has_value());
    conversation.addMessage(messageAt(3, "Added first, created later"));
    conversation.addMessage(messageAt(2, "Added later, created first"));
    conversation.generateTitle();
    EXPECT_EQ(conversation.title(), QString("Added later, created first"));
    conversation.setTitle(QString(""));
    conversation.generateTitle();
    EXPECT_EQ(conversation.title(), QString(""));
}

TEST(Conversation, GeneratedTitleCutsWholeCharactersAfterFifty)
{
    const QString flag = QString::fromUtf8("\U0001F1F3\U0001F1F4");
    const QString family =
        QString::fromUtf8("\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466");
    // One character longer than any first guess at how far the cut needs to look.
    const QString heavilyAccented = QString("a") + QString(300, QChar(0x0301));
    const QString a49(49, 'a');
    EXPECT_EQ(titleFor(a49 + "b"), a49 + "b");
    EXPECT_EQ(titleFor(a49 + "bc"), a49 + "b...");
    EXPECT_EQ(titleFor(a49 + flag + flag), a49 + flag + "...");
    EXPECT_EQ(titleFor(a49 + family + "b"), a49 + family + "...");
    EXPECT_EQ(titleFor(a49 + heavilyAccented + "bc"), a49 + heavilyAccented + "...");
}

} // namespace
