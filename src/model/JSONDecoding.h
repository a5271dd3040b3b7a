#pragma once

#include "model/DecodingError.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

// Rules shared by the dynamically typed JSON values.
namespace JSONDecoding {

// Deeper documents are refused rather than decoded, so every recursive walk over a decoded value
// (copy, compare, encode, destroy) stays well within the stack.
inline constexpr std::size_t maximumDepth = 512;

// The number as a 64-bit signed integer when it is exactly one, whatever its JSON spelling:
// 7, 7.0, 1e2 and -0.0 all qualify; 2.5 and 2^63 do not. Nothing for values that are not numbers.
std::optional<std::int64_t> exactInteger(const nlohmann::ordered_json &json);

// The string under the key as text; none when the key is missing or null. Any other kind fails
// with nlohmann's type error.
std::optional<QString> optionalString(const nlohmann::ordered_json &object, const char *key);

// Decodes one JSON value by the fixed order of attempts: null, Boolean, integer, double, string,
// list, object. Value is built from each kind; List and Object are its container types. Throws
// DecodingError("Unable to decode value") for anything else (binary values, documents nested
// deeper than maximumDepth).
template<typename Value, typename List, typename Object>
Value decode(const nlohmann::ordered_json &json, std::size_t depth = 0)
{
    if (json.is_null())
        return nullptr;
    if (json.is_boolean())
        return json.get<bool>();
    if (json.is_number()) {
        if (const auto integer = exactInteger(json))
            return *integer;
        return json.get<double>();
    }
    if (json.is_string())
        return json.get<std::string>();
    if ((json.is_array() || json.is_object()) && depth < maximumDepth) {
        if (json.is_array()) {
            List list;
            list.reserve(json.size());
            for (const auto &element : json)
                list.push_back(decode<Value, List, Object>(element, depth + 1));
            return list;
        }
        Object object;
        object.reserve(json.size());
        for (const auto &[key, element] : json.items())
            object.emplace(key, decode<Value, List, Object>(element, depth + 1));
        return object;
    }
    throw DecodingError("Unable to decode value");
}

} // namespace JSONDecoding
