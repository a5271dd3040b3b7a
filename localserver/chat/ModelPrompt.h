#pragma once

#include "storage/Exchange.h"
#include "storage/Profile.h"

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

// What a model is told with each request, in the OpenAI chat format: who it is and who it talks
// to, the conversation so far, and the tools it may call.
namespace ModelPrompt {

// The backend's own prompt of that type ("text" or "voice"), then the user's profile and recent
// memories when signed in, then the date, which the tools' date arguments need.
std::string system(const std::string &promptType, const Profile *profile,
                   const nlohmann::ordered_json &memories, const std::string &today);
// The system prompt, each earlier exchange as a user and an assistant message, then the new turn:
// its text, and each image as a data URL.
nlohmann::json messages(const std::string &systemPrompt, const std::vector<Exchange> &history,
                        const std::string &text, const std::vector<std::string> &imageUrls);
// The server's tools as functions: name, description and the JSON Schema of their arguments.
nlohmann::json functions();

} // namespace ModelPrompt
