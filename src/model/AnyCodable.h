#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

// One JSON value whose kind is known only at run time, such as the arguments of a tool call.
// Objects keep the key order in which they arrived so that they read as sent.
class AnyCodable
{
public:
    using List = std::vector<AnyCodable>;
    using Object = nlohmann::ordered_map<std::string, AnyCodable>;
    using Value =
        std::variant<std::nullptr_t, bool, std::int64_t, double, std::string, List, Object>;

    AnyCodable() = default;
    AnyCodable(std::nullptr_t) {}
    AnyCodable(bool value)
        : m_value(value)
    {}
    // Any signed integer; spelled without <concepts>, which moc cannot parse.
    template<class Integer,
             std::enable_if_t<std::is_integral_v<Integer> && std::is_signed_v<Integer>, int> = 0>
    AnyCodable(Integer value)
        : m_value(std::int64_t{value})
    {}
    AnyCodable(double value)
        : m_value(value)
    {}
    AnyCodable(std::string value);
    // Without this a string literal would pick the Boolean constructor.
    AnyCodable(const char *value);
    AnyCodable(List value);
    AnyCodable(Object value);

    const Value &value() const { return m_value; }

    // Tries null, Boolean, integer, double, string, list and object in that order. Throws
    // DecodingError("Unable to decode value") for anything else (binary values, documents nested
    // deeper than JSONDecoding::maximumDepth).
    static AnyCodable decode(const nlohmann::ordered_json &json);
    nlohmann::ordered_json encode() const;

    // A short text for display: scalars as themselves, containers by their size ("[3 items]").
    std::string description() const;

    // Structural: lists element by element, objects key by key regardless of key order. Kinds
    // must match, so the integer 1 never equals the double 1.0.
    friend bool operator==(const AnyCodable &left, const AnyCodable &right);
    static bool equal(const Object &left, const Object &right);

private:
    Value m_value;
};

void to_json(nlohmann::ordered_json &json, const AnyCodable &value);
void from_json(const nlohmann::ordered_json &json, AnyCodable &value);
