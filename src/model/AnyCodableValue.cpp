#include "model/AnyCodableValue.h"

#include "model/JSONDecoding.h"
#include "model/Overloaded.h"

#include <algorithm>
#include <utility>

AnyCodableValue::AnyCodableValue(std::string value)
    : m_case(std::move(value))
{}

AnyCodableValue::AnyCodableValue(const char *value)
    : m_case(std::string(value))
{}

AnyCodableValue::AnyCodableValue(Array value)
    : m_case(std::move(value))
{}

AnyCodableValue::AnyCodableValue(Dictionary value)
    : m_case(std::move(value))
{}

AnyCodableValue AnyCodableValue::decode(const nlohmann::ordered_json &json)
{
    return JSONDecoding::decode<AnyCodableValue, Array, Dictionary>(json);
}

nlohmann::ordered_json AnyCodableValue::encode() const
{
    return std::visit(Overloaded{
                          [](std::nullptr_t) { return nlohmann::ordered_json(nullptr); },
                          [](const Array &array) {
                              auto json = nlohmann::ordered_json::array();
                              for (const auto &element : array)
                                  json.push_back(element.encode());
                              return json;
                          },
                          [](const Dictionary &dictionary) {
                              auto json = nlohmann::ordered_json::object();
                              for (const auto &[key, element] : dictionary)
                                  json[key] = element.encode();
                              return json;
                          },
                          [](const auto &scalar) { return nlohmann::ordered_json(scalar); },
                      },
                      m_case);
}

bool operator==(const AnyCodableValue &left, const AnyCodableValue &right)
{
    const auto *leftDictionary = std::get_if<AnyCodableValue::Dictionary>(&left.m_case);
    const auto *rightDictionary = std::get_if<AnyCodableValue::Dictionary>(&right.m_case);
    if (!leftDictionary || !rightDictionary)
        return left.m_case == right.m_case;
    return leftDictionary->size() == rightDictionary->size() &&
           std::all_of(leftDictionary->begin(), leftDictionary->end(),
                       [rightDictionary](const auto &entry) {
                           const auto match = rightDictionary->find(entry.first);
                           return match != rightDictionary->end() && match->second == entry.second;
                       });
}

void to_json(nlohmann::ordered_json &json, const AnyCodableValue &value)
{
    json = value.encode();
}

void from_json(const nlohmann::ordered_json &json, AnyCodableValue &value)
{
    value = AnyCodableValue::decode(json);
}
