#pragma once

#include "model/AnyCodableValue.h"

#include <QList>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <nlohmann/json.hpp>
#include <optional>

// The user's free-form profile as the backend keeps it (personal details, location, family,
// goals, preferences, skills and anything it adds later), with the renderings that hand it to the
// assistant as plain text.
struct UserPreferences
{
    using Skill = QMap<QString, QString>;

    UserPreferences() = default;
    UserPreferences(const UserPreferences &) = default;
    UserPreferences(UserPreferences &&) = default;
    // The dictionary's entries have const keys and so cannot be assigned one by one: a copy is
    // built whole and moved in.
    UserPreferences &operator=(const UserPreferences &other);
    UserPreferences &operator=(UserPreferences &&) = default;
    ~UserPreferences() = default;

    AnyCodableValue::Dictionary rawJSON;

    // One line per known detail, then every goal and preference, then every other member; each
    // line ends with a line feed. Empty when nothing is present.
    QString toContextString() const;
    // A heading and one line per skill that has a name and a type; empty without skills.
    QString skillsContextString() const;
    // Each skill's string-valued "name", "type" and "description"; none unless
    // "available_skills" is an array of objects.
    std::optional<QList<Skill>> availableSkills() const;

    // Key order does not matter.
    friend bool operator==(const UserPreferences &a, const UserPreferences &b);
};

// The record is the JSON object itself.
void to_json(nlohmann::ordered_json &json, const UserPreferences &preferences);
// Anything but an object fails with nlohmann's own error; documents too deep for AnyCodableValue
// fail with its DecodingError.
void from_json(const nlohmann::ordered_json &json, UserPreferences &preferences);

Q_DECLARE_METATYPE(UserPreferences)
