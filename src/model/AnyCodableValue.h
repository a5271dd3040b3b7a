#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

// A JSON value as a closed set of cases, for records whose fields carry free-form JSON (the user's
// preferences). Decodes with the same order of attempts as AnyCodable.
class AnyCodableValue
{
public:
    using Array = std::vector<AnyCodableValue>;
    using Dictionary = nlohmann::ordered_map<std::string, AnyCodableValue>;
    using Case =
        std::variant<std::string, std::int64_t, double, bool, Array, Dictionary, std::nullptr_t>;

    AnyCodableValue()
        : m_case(nullptr)
    {}
    AnyCodableValue(std::nullptr_t)
        : m_case(nullptr)
    {}
    AnyCodableValue(std::string value);
    // Without this a string literal would pick the Boolean constructor.
    AnyCodableValue(const char *value);
    // Any signed integer; spelled without <concepts>, which moc cannot parse.
    template<class Integer,
             std::enable_if_t<std::is_integral_v<Integer> && std::is_signed_v<Integer>, int> = 0>
    AnyCodableValue(Integer value)
        : m_case(std::int64_t{value})
    {}
    AnyCodableValue(double value)
        : m_case(value)
    {}
    AnyCodableValue(bool value)
        : m_case(value)
    {}
    AnyCodableValue(Array value);
    AnyCodableValue(Dictionary value);

    const Case &value() const { return m_case; }

    // Throws DecodingError("Unable to decode value") for binary values and documents nested
    // deeper than JSONDecoding::maximumDepth.
    static AnyCodableValue decode(const nlohmann::ordered_json &json);
    nlohmann::ordered_json encode() const;

    // Structural, like AnyCodable: dictionary key order does not matter, 1 never equals 1.0.
    friend bool operator==(const AnyCodableValue &left, const AnyCodableValue &right);

private:
    Case m_case;
};

void to_json(nlohmann::ordered_json &json, const AnyCodableValue &value);
void from_json(const nlohmann::ordered_json &json, AnyCodableValue &value);
