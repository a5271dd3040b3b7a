#include "identity/RecentMemories.h"

#include <array>
#include <string>
#include <utility>

namespace {

using Part = std::optional<QString> RecentMemories::*;

constexpr std::array<std::pair<const char *, Part>, 5> parts = {{
    {"current_state", &RecentMemories::currentState},
    {"key_learnings", &RecentMemories::keyLearnings},
    {"purpose_and_context", &RecentMemories::purposeAndContext},
    {"tools_and_resources", &RecentMemories::toolsAndResources},
    {"approach_and_patterns", &RecentMemories::approachAndPatterns},
}};

} // namespace

void to_json(nlohmann::ordered_json &json, const RecentMemories &memories)
{
    json = nlohmann::ordered_json::object();
    for (const auto &[key, part] : parts) {
        if (const auto &value = memories.*part)
            json[key] = value->toStdString();
    }
}

void from_json(const nlohmann::ordered_json &json, RecentMemories &memories)
{
    if (!json.is_object())
        throw nlohmann::ordered_json::type_error::create(
            302, std::string("type must be object, but is ") + json.type_name(), &json);
    for (const auto &[key, part] : parts) {
        const auto found = json.find(key);
        if (found == json.end() || found->is_null())
            (memories.*part).reset();
        else
            memories.*part = QString::fromStdString(found->get<std::string>());
    }
}
