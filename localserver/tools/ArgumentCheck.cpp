#include "tools/ArgumentCheck.h"

#include "http/JsonValue.h"

#include <algorithm>

namespace {

using Json = nlohmann::ordered_json;

std::size_t characterCount(const std::string &text)
{
    return static_cast<std::size_t>(std::ranges::count_if(
        text, [](char c) { return (static_cast<unsigned char>(c) & 0xC0U) != 0x80U; }));
}

bool hasType(const Json &value, const std::string &type)
{
    if (type == "string")
        return value.is_string();
    if (type == "integer")
        return value.is_number_integer();
    if (type == "boolean")
        return value.is_boolean();
    if (type == "object")
        return value.is_object();
    return false;
}

std::string article(const std::string &type)
{
    return type == "integer" || type == "object" ? "an " + type : "a " + type;
}

std::optional<std::string> findValueError(const std::string &name, const Json &schema,
                                          const Json &value)
{
    const auto type = JsonValue::memberOr(schema, "type", std::string());
    if (!hasType(value, type))
        return name + " must be " + article(type);
    if (schema.contains("enum")) {
        const auto &allowed = schema["enum"].get_ref<const Json::array_t &>();
        if (std::ranges::find(allowed, value) == allowed.end()) {
            std::string choices;
            for (const auto &choice : allowed)
                choices += (choices.empty() ? "" : ", ") + choice.get<std::string>();
            return name + " must be one of: " + choices;
        }
    }
    if (value.is_string()) {
        const auto length = characterCount(value.get<std::string>());
        if (length < JsonValue::memberOr(schema, "minLength", std::size_t{0}))
            return name + " must not be empty";
        if (const auto &maximum = JsonValue::member(schema, "maxLength");
            !maximum.is_null() && length > maximum.get<std::size_t>())
            return name + " must be at most " + maximum.dump() + " characters long";
    }
    if (value.is_number_integer()) {
        const auto number = value.get<std::int64_t>();
        if (const auto &minimum = JsonValue::member(schema, "minimum");
            !minimum.is_null() && number < minimum.get<std::int64_t>())
            return name + " must be at least " + minimum.dump();
        if (const auto &maximum = JsonValue::member(schema, "maximum");
            !maximum.is_null() && number > maximum.get<std::int64_t>())
            return name + " must be at most " + maximum.dump();
    }
    return std::nullopt;
}

} // namespace

namespace ArgumentCheck {

std::optional<std::string> findError(const Json &schema, const Json &arguments)
{
    if (!arguments.is_object())
        return std::string("arguments must be an object");
    const auto &properties = schema.at("properties");
    for (const auto &required : JsonValue::memberOr(schema, "required", Json::array()))
        if (!arguments.contains(required.get<std::string>()))
            return required.get<std::string>() + " is required";
    for (const auto &[name, value] : arguments.items()) {
        const auto &property = JsonValue::member(properties, name);
        if (property.is_null()) {
            if (JsonValue::memberOr(schema, "additionalProperties", true))
                continue;
            return "unknown argument " + name;
        }
        if (auto error = findValueError(name, property, value))
            return error;
    }
    return std::nullopt;
}

} // namespace ArgumentCheck
