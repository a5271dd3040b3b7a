#include "ChatRequest.h"

#include "ApiError.h"

namespace {

using Json = nlohmann::ordered_json;

[[noreturn]] void reject(const std::string &message)
{
    throw ApiError(400, "invalid_request", message);
}

bool isString(const Json &object, const char *key)
{
    return object.contains(key) && object[key].is_string();
}

void checkImage(const Json &block)
{
    if (!block.contains("source"))
        reject("An image block needs a base64 source with media_type and data");
    const auto &source = block["source"];
    if (!source.is_object() || !isString(source, "type") || source["type"] != "base64" ||
        !isString(source, "media_type") || !isString(source, "data") ||
        source["data"].get_ref<const std::string &>().empty())
        reject("An image block needs a base64 source with media_type and data");
}

void readContent(const Json &content, ChatRequest &request)
{
    if (content.is_string()) {
        request.text = content.get<std::string>();
        return;
    }
    if (!content.is_array() || content.empty())
        reject("content must be a string or a non-empty array of content blocks");
    for (const auto &block : content.get_ref<const Json::array_t &>()) {
        if (!block.is_object() || !isString(block, "type"))
            reject("Every content block must be an object with a type");
        const auto &type = block["type"].get_ref<const std::string &>();
        if (type == "text") {
            if (!isString(block, "text"))
                reject("A text block needs a text string");
            request.text += (request.text.empty() ? "" : "\n") + block["text"].get<std::string>();
        } else if (type == "image") {
            checkImage(block);
            ++request.imageCount;
        } else {
            reject("Unsupported content block type: " + type);
        }
    }
}

} // namespace

ChatRequest ChatRequest::parse(const Json &body)
{
    ChatRequest request;
    if (!body.contains("messages") || !body["messages"].is_array() || body["messages"].empty())
        reject("messages must be a non-empty array");
    const auto &messages = body["messages"].get_ref<const Json::array_t &>();
    for (const auto &message : messages)
        if (!message.is_object() || !isString(message, "role") || !message.contains("content"))
            reject("Every message needs a role and content");
    const auto &last = messages.back();
    if (last["role"] != "user")
        reject("The last message must come from the user");
    readContent(last["content"], request);

    if (!isString(body, "prompt_type"))
        reject("prompt_type must be \"text\" or \"voice\"");
    request.promptType = body["prompt_type"].get<std::string>();
    if (request.promptType != "text" && request.promptType != "voice")
        reject("prompt_type must be \"text\" or \"voice\"");
    if (body.contains("client") && !isString(body, "client"))
        reject("client must be a string");
    if (body.contains("workos_user_id")) {
        if (!isString(body, "workos_user_id") ||
            body["workos_user_id"].get_ref<const std::string &>().empty())
            reject("workos_user_id must be a non-empty string");
        request.userId = body["workos_user_id"].get<std::string>();
    }
    return request;
}
