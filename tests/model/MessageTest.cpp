#include "model/Message.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

TEST(Message, ChangesNotifyOnlyWhenTheValueReallyChanges)
{
    Message message(MessageRole::assistant, "");
    QSignalSpy contentSpy(&message, &Message::contentChanged);
    QSignalSpy toolCallsSpy(&message, &Message::toolCallsChanged);
    QList<ToolCall> calls{{.id = "t", .name = "n", .input = {}, .result = {}, .isExecuting = true}};

    message.setContent("Hel");
    message.setContent("Hello");
    message.setContent("Hello");
    message.setToolCalls(calls);
    message.setToolCalls(calls);
    calls[0].result = "done";
    message.setToolCalls(calls);
    message.setImageData(QByteArray("bytes"));

    EXPECT_EQ(contentSpy.count(), 2);
    EXPECT_EQ(toolCallsSpy.count(), 2);
    EXPECT_EQ(message.property("toolCalls").toList().value(0).value<ToolCall>(), calls[0]);
}
