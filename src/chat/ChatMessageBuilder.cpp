#include "chat/ChatMessageBuilder.h"

#include <string>

namespace {

using Json = nlohmann::ordered_json;

Json imageBlock(const QByteArray &imageData)
{
    return {{"type", "image"},
            {"source",
             {{"type", "base64"},
              {"media_type", "image/jpeg"},
              {"data", imageData.toBase64().toStdString()}}}};
}

} // namespace

nlohmann::ordered_json ChatMessageBuilder::buildMessages(const QString &text,
                                                         const std::optional<QByteArray> &imageData)
{
    Json message = {{"role", "user"}};
    if (!imageData) {
        message["content"] = text.toStdString();
        return Json::array({std::move(message)});
    }
    Json blocks = Json::array({imageBlock(*imageData)});
    if (!text.isEmpty())
        blocks.push_back({{"type", "text"}, {"text", text.toStdString()}});
    message["content"] = std::move(blocks);
    return Json::array({std::move(message)});
}
