#include "model/Message.h"

#include "model/Timestamp.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

const QRegularExpression uuidForm("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$");

ToolCall runningTool()
{
    return ToolCall{.id = "toolu_1",
                    .name = "lookup",
                    .input = {{"terms", AnyCodable::List{"a", "b"}}},
                    .result = {},
                    .isExecuting = true};
}

} // namespace

TEST(Message, NewMessageGetsAnUpperCaseUuidAndTheCurrentTime)
{
    const auto before = Timestamp::now();
    const Message message(MessageRole::user, "Hello");
    const auto after = Timestamp::now();

    EXPECT_TRUE(uuidForm.match(message.id()).hasMatch()) << message.id().toStdString();
    EXPECT_GE(message.createdAt(), before);
    EXPECT_LE(message.createdAt(), after);
    EXPECT_EQ(message.role(), MessageRole::user);
    EXPECT_EQ(message.content(), "Hello");
    EXPECT_TRUE(message.toolCalls().isEmpty());
    EXPECT_FALSE(message.imageData().has_value());
    EXPECT_NE(Message(MessageRole::user, "").id(), message.id());
}

TEST(Message, KeepsEveryGivenField)
{
    const Message message("ID-1", MessageRole::assistant, "Hi", 1234.5, {runningTool()},
                          QByteArray("\x89PNG"));
    EXPECT_EQ(message.id(), "ID-1");
    EXPECT_EQ(message.createdAt(), 1234.5);
    EXPECT_EQ(message.toolCalls(), QList<ToolCall>{runningTool()});
    EXPECT_EQ(message.imageData(), QByteArray("\x89PNG"));
    EXPECT_EQ(message.property("role").toString(), "assistant");
}

TEST(Message, ContentNotifiesOnlyOnARealChange)
{
    Message message(MessageRole::assistant, "");
    QSignalSpy spy(&message, &Message::contentChanged);

    message.setContent("Hel");
    message.setContent("Hello");
    message.setContent("Hello");
    EXPECT_EQ(spy.count(), 2);
    EXPECT_EQ(message.content(), "Hello");
}

TEST(Message, ToolCallsNotifyOnlyOnARealChange)
{
    Message message(MessageRole::assistant, "");
    QSignalSpy spy(&message, &Message::toolCallsChanged);

    auto calls = QList<ToolCall>{runningTool()};
    message.setToolCalls(calls);
    message.setToolCalls(calls);
    EXPECT_EQ(spy.count(), 1);

    calls[0].isExecuting = false;
    calls[0].result = "done";
    message.setToolCalls(calls);
    EXPECT_EQ(spy.count(), 2);
    EXPECT_EQ(message.toolCalls().front().result, QString("done"));
}

TEST(Message, ImageDataIsNotPublished)
{
    Message message(MessageRole::user, "see image");
    QSignalSpy contentSpy(&message, &Message::contentChanged);
    QSignalSpy toolCallsSpy(&message, &Message::toolCallsChanged);

    message.setImageData(QByteArray("bytes"));
    EXPECT_EQ(message.imageData(), QByteArray("bytes"));
    EXPECT_EQ(contentSpy.count() + toolCallsSpy.count(), 0);
}

TEST(Message, QmlSeesToolCallsAsGadgets)
{
    const Message message(MessageRole::assistant, "", {runningTool()});
    const auto values = message.property("toolCalls").toList();
    ASSERT_EQ(values.size(), 1);
    EXPECT_EQ(values.front().value<ToolCall>(), runningTool());
}
