#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

// Checks tool arguments against the tool's own JSON Schema, so that the schema a client reads is
// exactly the rule the server applies. Understands the keywords the tools use: "type" (object,
// string, integer, boolean), "properties", "required", "additionalProperties": false, "enum",
// "minLength", "maxLength" (in characters), "minimum" and "maximum".
namespace ArgumentCheck {

// A readable reason why the arguments do not fit, or none when they do.
std::optional<std::string> findError(const nlohmann::ordered_json &schema,
                                     const nlohmann::ordered_json &arguments);

} // namespace ArgumentCheck
