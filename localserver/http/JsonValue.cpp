#include "http/JsonValue.h"

namespace JsonValue {

const nlohmann::ordered_json &member(const nlohmann::ordered_json &object, const std::string &key)
{
    static const nlohmann::ordered_json null;
    if (!object.is_object() || !object.contains(key))
        return null;
    return object[key];
}

} // namespace JsonValue
