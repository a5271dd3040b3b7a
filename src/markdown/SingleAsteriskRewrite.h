#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Single-asterisk emphasis written with underscores before the inline parser reads a text: a
// lone asterisk, the shortest non-empty run, a lone asterisk, within one line. Only pairs that
// can open and close emphasis are rewritten, so "2 * 3 * 4" and "a*b*c" keep their asterisks.
// Holds no state.
class SingleAsteriskRewrite
{
public:
    // Byte positions of the asterisks to rewrite, in ascending order and in pairs.
    static std::vector<std::size_t> positions(std::string_view text);

    // The text with those asterisks replaced by underscores.
    static std::string rewritten(std::string_view text);
};
