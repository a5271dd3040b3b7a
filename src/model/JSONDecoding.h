#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>

// Rules shared by the dynamically typed JSON values.
namespace JSONDecoding {

// Deeper documents are refused rather than decoded, so every recursive walk over a decoded value
// (copy, compare, encode, destroy) stays well within the stack.
inline constexpr std::size_t maximumDepth = 512;

// The number as a 64-bit signed integer when it is exactly one, whatever its JSON spelling:
// 7, 7.0, 1e2 and -0.0 all qualify; 2.5 and 2^63 do not. Nothing for values that are not numbers.
std::optional<std::int64_t> exactInteger(const nlohmann::ordered_json &json);

} // namespace JSONDecoding
