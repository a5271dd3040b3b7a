#pragma once

#include <QByteArray>
#include <QString>
#include <nlohmann/json.hpp>
#include <optional>

// Builds the "messages" array of a chat request. Only the new user turn is sent: the backend
// keeps the conversation and chooses the system prompt itself.
class ChatMessageBuilder
{
public:
    // One user message. Without an image its "content" is the text as a plain string, even when
    // empty; with one it is a list of blocks: the image as Base64 JPEG, then the text unless it is
    // empty. The image is always declared as JPEG, whatever its bytes hold.
    static nlohmann::ordered_json buildMessages(const QString &text,
                                                const std::optional<QByteArray> &imageData);
};
