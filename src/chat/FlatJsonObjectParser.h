#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

// A quick parser for the shape nearly every event object of the chat stream has: one level of
// keys whose values are strings (without \u escapes), true, false or null. A stream carries one
// such object per text delta, and the general JSON parser spends most of its time on the
// per-character machinery this shape does not need.
//
// Whatever it accepts, the general parser accepts with the same result. Anything else (numbers,
// nested values, \u escapes, malformed text) gives none: the caller then asks the general
// parser, which decides.
class FlatJsonObjectParser
{
public:
    static std::optional<nlohmann::ordered_json> parse(std::string_view text);
};
