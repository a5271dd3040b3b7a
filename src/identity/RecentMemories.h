#pragma once

#include <QMetaType>
#include <QString>
#include <nlohmann/json.hpp>
#include <optional>

// The backend's summary of what it has learnt about the user lately, in five optional parts.
struct RecentMemories
{
    std::optional<QString> currentState = std::nullopt;
    std::optional<QString> keyLearnings = std::nullopt;
    std::optional<QString> purposeAndContext = std::nullopt;
    std::optional<QString> toolsAndResources = std::nullopt;
    std::optional<QString> approachAndPatterns = std::nullopt;

    friend bool operator==(const RecentMemories &, const RecentMemories &) = default;
};

// Present parts only, under their snake-case keys.
void to_json(nlohmann::ordered_json &json, const RecentMemories &memories);
// A missing or null key is an absent part; a value that is not a string fails with nlohmann's
// own error, as does a document that is not an object.
void from_json(const nlohmann::ordered_json &json, RecentMemories &memories);

Q_DECLARE_METATYPE(RecentMemories)
