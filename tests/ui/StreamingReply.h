#pragma once

#include "model/Conversation.h"
#include "model/Message.h"
#include "ui/MessageListModel.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>
#include <memory>

// A message list in states only C++ can set up: the user's message and the assistant's reply
// streaming in, which the test writes into as the reply's events would, and its turns completed
// as the chat screen completes them.
class StreamingReply : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(MessageListModel *messages READ messages CONSTANT)

public:
    using QObject::QObject;

    MessageListModel *messages() { return &list; }

    // Starts again with a new conversation: the user's message and an empty reply.
    Q_INVOKABLE void restart()
    {
        list.setRetryOffered(false);
        list.setStreamingMessage(nullptr);
        list.setConversation(nullptr);
        conversation = std::make_unique<Conversation>();
        conversation->addMessage(new Message(MessageRole::user, QStringLiteral("Hi")));
        list.setConversation(conversation.get());
        renewReply();
        list.setStreaming(true);
    }

    Q_INVOKABLE void appendText(const QString &text) { reply->setContent(reply->content() + text); }

    Q_INVOKABLE void startTool(const QString &id)
    {
        QList<ToolCall> toolCalls = reply->toolCalls();
        ToolCall::Input input;
        input.emplace("food", AnyCodable(std::string("eggs")));
        toolCalls.append({id, QStringLiteral("log_meal"), input, std::nullopt, true});
        reply->setToolCalls(toolCalls);
    }

    Q_INVOKABLE void finishTool(const QString &id, const QString &result)
    {
        QList<ToolCall> toolCalls = reply->toolCalls();
        for (ToolCall &toolCall : toolCalls) {
            if (toolCall.id == id) {
                toolCall.isExecuting = false;
                toolCall.result = result;
            }
        }
        reply->setToolCalls(toolCalls);
    }

    // The turn joins the conversation as a message of its own, and any more text of the reply
    // streams into a new one.
    Q_INVOKABLE void completeTurn()
    {
        conversation->addMessage(
            new Message(MessageRole::assistant, reply->content(), reply->toolCalls()));
        renewReply();
    }

    // The send fails after what arrived: the reply is kept as a message that says so, and the
    // list offers to send again.
    Q_INVOKABLE void fail()
    {
        reply->setEnding(Message::Ending::failed);
        conversation->addMessage(reply.release());
        list.setStreamingMessage(nullptr);
        list.setStreaming(false);
        list.setRetryOffered(true);
    }

private:
    void renewReply()
    {
        auto next = std::make_unique<Message>(MessageRole::assistant, QString());
        list.setStreamingMessage(next.get());
        reply = std::move(next);
    }

    std::unique_ptr<Conversation> conversation;
    std::unique_ptr<Message> reply;
    // Lets go of the messages before they go.
    MessageListModel list;
};
