#pragma once

#include <cstddef>
#include <string_view>

// How deeply JSON text nests, read before it is parsed: copying, comparing and serialising a
// parsed value recurse once per level, so text nested past a limit is refused unparsed.
namespace JsonNesting {

// Whether the text nests arrays and objects deeper than maximumDepth levels. Brackets inside
// strings, escaped quotes included, do not count. Exact for well-formed JSON; any other text
// fails to parse anyway.
bool exceeds(std::string_view text, std::size_t maximumDepth);

} // namespace JsonNesting
