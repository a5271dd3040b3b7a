#include "model/AnyCodable.h"

#include "model/JSONDecoding.h"
#include "model/Overloaded.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <utility>

namespace {

// Built by appending: g++ 12 at -O3 takes "[" + std::to_string(n) + "]" for an overlapping copy
// and warns (-Wrestrict), which fails the optimised build.
std::string counted(const char *open, std::size_t count, const char *close)
{
    std::string text(open);
    text += std::to_string(count);
    text += close;
    return text;
}

std::string describe(double value)
{
    std::array<char, 32> buffer{};
    const auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value).ptr;
    std::string text(buffer.data(), end);
    // Shortest round-trip text drops the fraction of integral values; keep them readable as
    // doubles ("1.0", not "1"). Exponent forms and inf/nan already say what they are.
    if (std::isfinite(value) && text.find_first_of(".e") == std::string::npos)
        text += ".0";
    return text;
}

} // namespace

AnyCodable::AnyCodable(std::string value)
    : m_value(std::move(value))
{}

AnyCodable::AnyCodable(const char *value)
    : m_value(std::string(value))
{}

AnyCodable::AnyCodable(List value)
    : m_value(std::move(value))
{}

AnyCodable::AnyCodable(Object value)
    : m_value(std::move(value))
{}

AnyCodable AnyCodable::decode(const nlohmann::ordered_json &json)
{
    return JSONDecoding::decode<AnyCodable, List, Object>(json);
}

nlohmann::ordered_json AnyCodable::encode() const
{
    return std::visit(Overloaded{
                          [](std::nullptr_t) { return nlohmann::ordered_json(nullptr); },
                          [](const List &list) {
                              auto json = nlohmann::ordered_json::array();
                              for (const auto &element : list)
                                  json.push_back(element.encode());
                              return json;
                          },
                          [](const Object &object) {
                              auto json = nlohmann::ordered_json::object();
                              for (const auto &[key, element] : object)
                                  json[key] = element.encode();
                              return json;
                          },
                          [](const auto &scalar) { return nlohmann::ordered_json(scalar); },
                      },
                      m_value);
}

std::string AnyCodable::description() const
{
    return std::visit(
        Overloaded{
            [](std::nullptr_t) { return std::string("null"); },
            [](bool value) { return std::string(value ? "true" : "false"); },
            [](std::int64_t value) { return std::to_string(value); },
            [](double value) { return describe(value); },
            [](const std::string &value) { return value; },
            [](const List &list) { return counted("[", list.size(), " items]"); },
            [](const Object &object) { return counted("{", object.size(), " keys}"); },
        },
        m_value);
}

bool operator==(const AnyCodable &left, const AnyCodable &right)
{
    if (left.m_value.index() != right.m_value.index())
        return false;
    if (const auto *object = std::get_if<AnyCodable::Object>(&left.m_value))
        return AnyCodable::equal(*object, std::get<AnyCodable::Object>(right.m_value));
    return left.m_value == right.m_value;
}

bool AnyCodable::equal(const Object &left, const Object &right)
{
    return left.size() == right.size() &&
           std::all_of(left.begin(), left.end(), [&right](const auto &entry) {
               const auto match = right.find(entry.first);
               return match != right.end() && match->second == entry.second;
           });
}

void to_json(nlohmann::ordered_json &json, const AnyCodable &value)
{
    json = value.encode();
}

void from_json(const nlohmann::ordered_json &json, AnyCodable &value)
{
    value = AnyCodable::decode(json);
}
