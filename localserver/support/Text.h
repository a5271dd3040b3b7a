#pragma once

#include <string>
#include <string_view>

// Small text helpers for input that arrives from anywhere.
namespace Text {

bool isValidUtf8(std::string_view text);
// Without leading and trailing ASCII white space.
std::string_view trim(std::string_view text);
// ASCII letters in lower case; other bytes unchanged.
std::string lower(std::string_view text);
// At most that many bytes, cut back to a whole UTF-8 character.
std::string_view truncate(std::string_view text, std::size_t maxBytes);
// Whether the text holds any control character (below 0x20, or 0x7F).
bool hasControlCharacters(std::string_view text);

} // namespace Text
