#pragma once

#include <nlohmann/json.hpp>
#include <string>

// Reading members of JSON objects that may lack them. (nlohmann's own value() and find() make
// g++ 12 report null dereferences that cannot happen, and warnings are errors here.)
namespace JsonValue {

// The member, or null when the value is no object or has no such member.
const nlohmann::ordered_json &member(const nlohmann::ordered_json &object, const std::string &key);

// The member converted to T, or the fallback when it is missing or null.
template<typename T>
T memberOr(const nlohmann::ordered_json &object, const std::string &key, T fallback)
{
    const auto &value = member(object, key);
    return value.is_null() ? fallback : value.get<T>();
}

} // namespace JsonValue
