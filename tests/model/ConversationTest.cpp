#include "model/Conversation.h"

#include "model/Timestamp.h"

#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

Message *messageAt(double createdAt, MessageRole role = MessageRole::user, QString content = {})
{
    static int next = 0;
    return new Message(QString("M%1").arg(++next), role, std::move(content), createdAt);
}

// A conversation last updated long ago, so that adding a message always moves updatedAt.
std::unique_ptr<Conversation> oldConversation()
{
    return std::make_unique<Conversation>("C", std::nullopt, 100.0, 100.0);
}

QString repeated(const QString &piece, int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += piece;
    return text;
}

} // namespace

TEST(Conversation, NewConversationIsEmptyUntitledAndStampedNow)
{
    const auto before = Timestamp::now();
    const Conversation conversation;
    const auto after = Timestamp::now();

    const QRegularExpression uuidForm(
        "^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$");
    EXPECT_TRUE(uuidForm.match(conversation.id()).hasMatch());
    EXPECT_FALSE(conversation.title().has_value());
    EXPECT_FALSE(conversation.property("title").isValid());
    EXPECT_GE(conversation.createdAt(), before);
    EXPECT_LE(conversation.createdAt(), after);
    EXPECT_EQ(conversation.updatedAt(), conversation.createdAt());
    EXPECT_TRUE(conversation.messages().isEmpty());
    EXPECT_TRUE(conversation.sortedMessages().isEmpty());
}

TEST(Conversation, GivenMessagesAreAdoptedButNotSorted)
{
    QObject otherOwner;
    auto *orphan = messageAt(2);
    auto *owned = new Message(MessageRole::user, "x", {}, {}, &otherOwner);
    const Conversation conversation("C", QString("T"), 1, 3, {orphan, owned});

    EXPECT_EQ(conversation.messages(), (QList<Message *>{orphan, owned}));
    EXPECT_TRUE(conversation.sortedMessages().isEmpty());
    EXPECT_EQ(orphan->parent(), &conversation);
    EXPECT_EQ(owned->parent(), &otherOwner);
    EXPECT_EQ(conversation.title(), QString("T"));
}

TEST(Conversation, AddMessageNotifiesMessagesThenUpdatedAtThenSortedMessages)
{
    auto conversation = oldConversation();
    std::vector<std::string> notices;
    QObject::connect(conversation.get(), &Conversation::messagesChanged,
                     [&notices] { notices.push_back("messages"); });
    QObject::connect(conversation.get(), &Conversation::updatedAtChanged,
                     [&notices] { notices.push_back("updatedAt"); });
    QObject::connect(conversation.get(), &Conversation::sortedMessagesChanged,
                     [&notices] { notices.push_back("sortedMessages"); });
    QObject::connect(conversation.get(), &Conversation::titleChanged,
                     [&notices] { notices.push_back("title"); });

    conversation->addMessage(messageAt(5));
    EXPECT_EQ(notices, (std::vector<std::string>{"messages", "updatedAt", "sortedMessages"}));
}

TEST(Conversation, AddMessageMovesUpdatedAtToTheTimeOfTheCall)
{
    auto conversation = oldConversation();
    for (int i = 0; i < 2; ++i) {
        const auto previous = conversation->updatedAt();
        const auto before = Timestamp::now();
        conversation->addMessage(messageAt(1));
        const auto after = Timestamp::now();
        EXPECT_GE(conversation->updatedAt(), before);
        EXPECT_LE(conversation->updatedAt(), after);
        EXPECT_GE(conversation->updatedAt(), previous);
    }
    EXPECT_EQ(conversation->createdAt(), 100.0);
}

TEST(Conversation, AddMessageAdoptsParentlessMessages)
{
    auto *message = messageAt(1);
    const QPointer<Message> watcher(message);
    {
        auto conversation = oldConversation();
        conversation->addMessage(message);
        EXPECT_EQ(message->parent(), conversation.get());
    }
    EXPECT_TRUE(watcher.isNull());
}

TEST(Conversation, SortIsStableAndByCreationTime)
{
    auto conversation = oldConversation();
    auto *first = messageAt(10);
    auto *sameTime = messageAt(10);
    auto *earlier = messageAt(5);
    auto *latest = messageAt(20);
    auto *alsoSameTime = messageAt(10);
    for (auto *message : {first, sameTime, earlier, latest, alsoSameTime})
        conversation->addMessage(message);

    EXPECT_EQ(conversation->messages(),
              (QList<Message *>{first, sameTime, earlier, latest, alsoSameTime}));
    EXPECT_EQ(conversation->sortedMessages(),
              (QList<Message *>{earlier, first, sameTime, alsoSameTime, latest}));
}

TEST(Conversation, SettingTheHeldValueNotifiesNothing)
{
    auto conversation = oldConversation();
    QSignalSpy titleSpy(conversation.get(), &Conversation::titleChanged);
    QSignalSpy updatedSpy(conversation.get(), &Conversation::updatedAtChanged);

    conversation->setTitle(std::nullopt);
    conversation->setUpdatedAt(100.0);
    EXPECT_EQ(titleSpy.count() + updatedSpy.count(), 0);

    conversation->setTitle(QString(""));
    conversation->setTitle(QString(""));
    conversation->setTitle(QString("Trip"));
    conversation->setTitle(std::nullopt);
    EXPECT_EQ(titleSpy.count(), 3);
    conversation->setUpdatedAt(100.5);
    conversation->setUpdatedAt(100.5);
    EXPECT_EQ(updatedSpy.count(), 1);
}

TEST(Conversation, TitleForQmlIsUndefinedOrTheString)
{
    auto conversation = oldConversation();
    conversation->setTitle(QString(""));
    EXPECT_TRUE(conversation->property("title").isValid());
    EXPECT_EQ(conversation->property("title").toString(), "");
}

TEST(Conversation, GenerateTitleWithOnlyAssistantMessagesLeavesTitleAbsent)
{
    auto conversation = oldConversation();
    conversation->addMessage(messageAt(1, MessageRole::assistant, "Hello, how can I help?"));
    conversation->generateTitle();
    EXPECT_FALSE(conversation->title().has_value());
}

TEST(Conversation, GenerateTitleNeverReplacesAPresentTitle)
{
    for (const QString &present : {QString(""), QString("Kept")}) {
        auto conversation = oldConversation();
        conversation->setTitle(present);
        conversation->addMessage(messageAt(1, MessageRole::user, "A question"));
        conversation->generateTitle();
        EXPECT_EQ(conversation->title(), present);
    }
}

TEST(Conversation, GenerateTitleUsesTheEarliestUserMessage)
{
    auto conversation = oldConversation();
    conversation->addMessage(messageAt(1, MessageRole::assistant, "Welcome"));
    conversation->addMessage(messageAt(3, MessageRole::user, "Added first, created later"));
    conversation->addMessage(messageAt(2, MessageRole::user, "Added later, created first"));
    QSignalSpy spy(conversation.get(), &Conversation::titleChanged);
    conversation->generateTitle();
    EXPECT_EQ(conversation->title(), QString("Added later, created first"));
    EXPECT_EQ(spy.count(), 1);
}

namespace {

struct TitleCase
{
    const char *name;
    QString content;
    QString title;
};

class ConversationTitle : public testing::TestWithParam<TitleCase>
{};

const QString flag = QString::fromUtf8("\U0001F1F3\U0001F1F4");
const QString family =
    QString::fromUtf8("\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466");
const QString accented = QString::fromUtf8("e\u0301");

} // namespace

TEST_P(ConversationTitle, CountsAndCutsUserPerceivedCharacters)
{
    auto conversation = oldConversation();
    conversation->addMessage(messageAt(1, MessageRole::user, GetParam().content));
    conversation->generateTitle();
    EXPECT_EQ(conversation->title(), GetParam().title);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, ConversationTitle,
    testing::Values(TitleCase{"Empty", "", ""}, TitleCase{"Short", "Plan a trip", "Plan a trip"},
                    TitleCase{"Exactly50", repeated("a", 50), repeated("a", 50)},
                    TitleCase{"Exactly51", repeated("a", 51), repeated("a", 50) + "..."},
                    TitleCase{"FlagsFit", repeated(flag, 50), repeated(flag, 50)},
                    TitleCase{"FlagNotHalved", repeated("a", 49) + flag + flag,
                              repeated("a", 49) + flag + "..."},
                    TitleCase{"FamilyNotSplit", repeated("a", 49) + family + "b",
                              repeated("a", 49) + family + "..."},
                    TitleCase{"FamiliesFit", repeated(family, 50), repeated(family, 50)},
                    TitleCase{"AccentKept", repeated("a", 49) + accented + "bc",
                              repeated("a", 49) + accented + "..."},
                    TitleCase{"AccentsFit", repeated(accented, 50), repeated(accented, 50)},
                    TitleCase{"AccentsCut", repeated(accented, 51),
                              repeated(accented, 50) + "..."}),
    [](const testing::TestParamInfo<TitleCase> &caseInfo) {
        return std::string(caseInfo.param.name);
    });
