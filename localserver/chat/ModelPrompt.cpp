#include "chat/ModelPrompt.h"

#include "identity/ProfileDefaults.h"
#include "tools/ToolBox.h"

namespace {

using Json = nlohmann::json;

std::string fullName(const Profile &profile)
{
    return profile.lastName && !profile.lastName->empty()
               ? profile.firstName + " " + *profile.lastName
               : profile.firstName;
}

std::string memoryLines(const nlohmann::ordered_json &memories)
{
    std::string lines;
    for (const auto &[key, value] : memories.items())
        lines +=
            "\n- " + key + ": " + (value.is_string() ? value.get<std::string>() : value.dump());
    return lines;
}

} // namespace

namespace ModelPrompt {

std::string system(const std::string &promptType, const Profile *profile,
                   const nlohmann::ordered_json &memories, const std::string &today)
{
    auto prompt = ProfileDefaults::prompt(promptType, profile);
    if (profile) {
        const auto preferences = Json::parse(profile->preferences, nullptr, false);
        prompt += "\n\n## About the user\nName: " + fullName(*profile);
        if (preferences.is_object())
            prompt += "\nPreferences: " +
                      preferences.dump(-1, ' ', false, Json::error_handler_t::replace);
        if (!memories.empty())
            prompt += "\n\n## Recent memories" + memoryLines(memories);
    }
    return prompt + "\n\nToday is " + today + ".";
}

Json messages(const std::string &systemPrompt, const std::vector<Exchange> &history,
              const std::string &text, const std::vector<std::string> &imageUrls)
{
    Json messages = Json::array();
    messages.push_back({{"role", "system"}, {"content", systemPrompt}});
    for (const auto &exchange : history) {
        messages.push_back({{"role", "user"}, {"content", exchange.question}});
        messages.push_back({{"role", "assistant"}, {"content", exchange.answer}});
    }
    if (imageUrls.empty()) {
        messages.push_back({{"role", "user"}, {"content", text}});
        return messages;
    }
    Json content = Json::array();
    if (!text.empty())
        content.push_back({{"type", "text"}, {"text", text}});
    for (const auto &url : imageUrls)
        content.push_back({{"type", "image_url"}, {"image_url", {{"url", url}}}});
    messages.push_back({{"role", "user"}, {"content", std::move(content)}});
    return messages;
}

Json functions()
{
    Json functions = Json::array();
    for (const auto &tool : ToolBox::definitions())
        functions.push_back({{"type", "function"},
                             {"function",
                              {{"name", tool["name"]},
                               {"description", tool["description"]},
                               {"parameters", tool["inputSchema"]}}}});
    return functions;
}

} // namespace ModelPrompt
