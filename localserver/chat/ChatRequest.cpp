#include "chat/ChatRequest.h"

#include "http/ApiError.h"
#include "http/JsonHttp.h"

#include <algorithm>

namespace {

using Json = nlohmann::ordered_json;

// The media type goes into a data URL as it stands: only a plain image type may.
bool isImageType(const std::string &type)
{
    return type.size() > 6 && type.size() <= 64 && type.starts_with("image/") &&
           std::ranges::all_of(type.substr(6), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '+' ||
                      c == '-';
           });
}

std::string checkImage(const Json &block)
{
    if (!block.contains("source"))
        JsonHttp::rejectRequest("An image block needs a base64 source with media_type and data");
    const auto &source = block["source"];
    if (!source.is_object() || !JsonHttp::hasString(source, "type") || source["type"] != "base64" ||
        !JsonHttp::hasString(source, "media_type") || !JsonHttp::hasString(source, "data") ||
        source["data"].get_ref<const std::string &>().empty())
        JsonHttp::rejectRequest("An image block needs a base64 source with media_type and data");
    const auto &type = source["media_type"].get_ref<const std::string &>();
    return "data:" + (isImageType(type) ? type : std::string("image/jpeg")) + ";base64," +
           source["data"].get<std::string>();
}

void readContent(const Json &content, ChatRequest &request)
{
    if (content.is_string()) {
        request.text = content.get<std::string>();
        return;
    }
    if (!content.is_array() || content.empty())
        JsonHttp::rejectRequest("content must be a string or a non-empty array of content blocks");
    for (const auto &block : content.get_ref<const Json::array_t &>()) {
        if (!block.is_object() || !JsonHttp::hasString(block, "type"))
            JsonHttp::rejectRequest("Every content block must be an object with a type");
        const auto &type = block["type"].get_ref<const std::string &>();
        if (type == "text") {
            if (!JsonHttp::hasString(block, "text"))
                JsonHttp::rejectRequest("A text block needs a text string");
            request.text += (request.text.empty() ? "" : "\n") + block["text"].get<std::string>();
        } else if (type == "image") {
            request.imageUrls.push_back(checkImage(block));
            ++request.imageCount;
        } else {
            JsonHttp::rejectRequest("Unsupported content block type: " + type);
        }
    }
}

} // namespace

ChatRequest ChatRequest::parse(const Json &body)
{
    ChatRequest request;
    if (!body.contains("messages") || !body["messages"].is_array() || body["messages"].empty())
        JsonHttp::rejectRequest("messages must be a non-empty array");
    const auto &messages = body["messages"].get_ref<const Json::array_t &>();
    for (const auto &message : messages)
        if (!message.is_object() || !JsonHttp::hasString(message, "role") ||
            !message.contains("content"))
            JsonHttp::rejectRequest("Every message needs a role and content");
    const auto &last = messages.back();
    if (last["role"] != "user")
        JsonHttp::rejectRequest("The last message must come from the user");
    readContent(last["content"], request);

    if (!JsonHttp::hasString(body, "prompt_type"))
        JsonHttp::rejectRequest("prompt_type must be \"text\" or \"voice\"");
    request.promptType = body["prompt_type"].get<std::string>();
    if (request.promptType != "text" && request.promptType != "voice")
        JsonHttp::rejectRequest("prompt_type must be \"text\" or \"voice\"");
    if (body.contains("client") && !JsonHttp::hasString(body, "client"))
        JsonHttp::rejectRequest("client must be a string");
    if (body.contains("workos_user_id")) {
        if (!JsonHttp::hasString(body, "workos_user_id") ||
            body["workos_user_id"].get_ref<const std::string &>().empty())
            JsonHttp::rejectRequest("workos_user_id must be a non-empty string");
        request.userId = body["workos_user_id"].get<std::string>();
    }
    return request;
}
