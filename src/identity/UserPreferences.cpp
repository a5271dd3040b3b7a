#include "identity/UserPreferences.h"

#include <QChar>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace {

using Dictionary = AnyCodableValue::Dictionary;

struct DetailLine
{
    const char *object;
    const char *key;
    const char *label;
};

// The details with a fixed label, in the order they are rendered.
constexpr std::array<DetailLine, 6> detailLines = {{
    {"personal", "name", "Name: "},
    {"personal", "birthplace", "Birthplace: "},
    {"personal", "birth_date", "Birth date: "},
    {"location", "residence", "Location: "},
    {"family", "spouse_name", "Spouse: "},
    {"family", "child_name", "Child: "},
}};

constexpr std::array<std::string_view, 2> listedObjects = {"goals", "preferences"};

// Members rendered by their own rules, or not at all, and so left out of the generic lines.
constexpr std::array<std::string_view, 6> handledMembers = {
    "personal", "location", "family", "goals", "preferences", "available_skills",
};

template<typename Kind> const Kind *memberOf(const Dictionary &dictionary, std::string_view key)
{
    const auto found = dictionary.find(std::string(key));
    if (found == dictionary.end())
        return nullptr;
    return std::get_if<Kind>(&found->second.value());
}

QString text(const std::string &utf8)
{
    return QString::fromStdString(utf8);
}

// "favorite_food" reads "Favorite Food": underscores become spaces, then each word gets an upper
// case first letter and lower case for the rest.
QString titleForm(const std::string &key)
{
    const QString words = text(key).replace(QLatin1Char('_'), QLatin1Char(' '));
    QString title;
    title.reserve(words.size());
    bool wordStart = true;
    for (qsizetype index = 0; index < words.size();) {
        const qsizetype length =
            words.at(index).isHighSurrogate() && index + 1 < words.size() ? 2 : 1;
        const QString character = words.mid(index, length);
        title += wordStart ? character.toUpper() : character.toLower();
        wordStart = character.size() == 1 && character.at(0).isSpace();
        index += length;
    }
    return title;
}

QString textForm(const AnyCodableValue &value)
{
    if (const auto *string = std::get_if<std::string>(&value.value()))
        return text(*string);
    if (const auto *integer = std::get_if<std::int64_t>(&value.value()))
        return QString::number(*integer);
    if (const auto *boolean = std::get_if<bool>(&value.value()))
        return *boolean ? QStringLiteral("true") : QStringLiteral("false");
    // Doubles in their shortest round-trip form; containers and null as compact JSON.
    return text(
        value.encode().dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
}

bool isHandled(const std::string &key)
{
    for (const auto handled : handledMembers) {
        if (key == handled)
            return true;
    }
    return false;
}

void appendLine(QString &result, const QString &line)
{
    result += line;
    result += QLatin1Char('\n');
}

// The skills when "available_skills" is an array holding objects only.
std::optional<std::vector<const Dictionary *>> skillObjects(const Dictionary &rawJSON)
{
    const auto *skills = memberOf<AnyCodableValue::Array>(rawJSON, "available_skills");
    if (!skills)
        return std::nullopt;
    std::vector<const Dictionary *> objects;
    objects.reserve(skills->size());
    for (const auto &skill : *skills) {
        const auto *object = std::get_if<Dictionary>(&skill.value());
        if (!object)
            return std::nullopt;
        objects.push_back(object);
    }
    return objects;
}

} // namespace

QString UserPreferences::toContextString() const
{
    QString result;
    for (const auto &detail : detailLines) {
        const auto *object = memberOf<Dictionary>(rawJSON, detail.object);
        const auto *value = object ? memberOf<std::string>(*object, detail.key) : nullptr;
        if (value)
            appendLine(result, QLatin1String(detail.label) + text(*value));
    }
    for (const auto name : listedObjects) {
        if (const auto *object = memberOf<Dictionary>(rawJSON, name)) {
            for (const auto &[key, value] : *object)
                appendLine(result, titleForm(key) + QStringLiteral(": ") + textForm(value));
        }
    }
    for (const auto &[key, value] : rawJSON) {
        if (isHandled(key))
            continue;
        if (const auto *object = std::get_if<Dictionary>(&value.value())) {
            appendLine(result, QLatin1Char('\n') + titleForm(key) + QLatin1Char(':'));
            for (const auto &[innerKey, innerValue] : *object)
                appendLine(result, QStringLiteral("  ") + titleForm(innerKey) +
                                       QStringLiteral(": ") + textForm(innerValue));
        } else {
            appendLine(result, titleForm(key) + QStringLiteral(": ") + textForm(value));
        }
    }
    return result;
}

QString UserPreferences::skillsContextString() const
{
    const auto skills = skillObjects(rawJSON);
    if (!skills || skills->empty())
        return {};
    QString result = QStringLiteral("\n## AVAILABLE SKILLS:\n");
    for (const Dictionary *skill : *skills) {
        const auto *name = memberOf<std::string>(*skill, "name");
        const auto *type = memberOf<std::string>(*skill, "type");
        if (!name || !type)
            continue;
        result += QStringLiteral("- ") + text(*name) + QStringLiteral(" (") + text(*type) +
                  QLatin1Char(')');
        if (const auto *description = memberOf<std::string>(*skill, "description"))
            result += QStringLiteral(": ") + text(*description);
        result += QLatin1Char('\n');
    }
    return result;
}

std::optional<QList<UserPreferences::Skill>> UserPreferences::availableSkills() const
{
    const auto skills = skillObjects(rawJSON);
    if (!skills)
        return std::nullopt;
    QList<Skill> result;
    result.reserve(static_cast<qsizetype>(skills->size()));
    for (const Dictionary *skill : *skills) {
        Skill strings;
        for (const char *key : {"name", "type", "description"}) {
            if (const auto *value = memberOf<std::string>(*skill, key))
                strings.insert(QLatin1String(key), text(*value));
        }
        result.append(strings);
    }
    return result;
}

UserPreferences &UserPreferences::operator=(const UserPreferences &other)
{
    if (this != &other)
        rawJSON = AnyCodableValue::Dictionary(other.rawJSON);
    return *this;
}

bool operator==(const UserPreferences &a, const UserPreferences &b)
{
    return AnyCodableValue(a.rawJSON) == AnyCodableValue(b.rawJSON);
}

void to_json(nlohmann::ordered_json &json, const UserPreferences &preferences)
{
    json = nlohmann::ordered_json::object();
    for (const auto &[key, value] : preferences.rawJSON)
        json[key] = value.encode();
}

void from_json(const nlohmann::ordered_json &json, UserPreferences &preferences)
{
    if (!json.is_object())
        throw nlohmann::ordered_json::type_error::create(
            302, std::string("type must be object, but is ") + json.type_name(), &json);
    preferences.rawJSON = Dictionary(std::get<Dictionary>(AnyCodableValue::decode(json).value()));
}
