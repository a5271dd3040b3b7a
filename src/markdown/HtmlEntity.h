#pragma once

#include <optional>
#include <string_view>

// The characters of the HTML entities md4c recognises in a text ("&amp;", "&#123;", "&#x1F;").
// Holds no state.
class HtmlEntity
{
public:
    // The character of an entity; none for a name this renderer does not know, which then shows
    // as written. A numeric entity of no valid character is U+FFFD.
    static std::optional<char32_t> character(std::string_view entity);
};
