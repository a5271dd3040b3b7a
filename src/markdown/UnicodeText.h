#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Code points of UTF-8 text and the character classes the Markdown parser tests. Malformed
// UTF-8 never fails: each byte that does not start a well-formed sequence reads as one U+FFFD.
class UnicodeText
{
public:
    // What stands for bytes and numbers that are no character.
    static constexpr char32_t replacementCharacter = 0xFFFD;

    struct CodePoint
    {
        char32_t value = 0;
        // Bytes the code point occupies; 0 only at the end of the text.
        std::size_t length = 0;
    };

    // The code point that starts at byte `at`.
    static CodePoint decode(std::string_view text, std::size_t at);
    // The code point that ends just before byte `end`.
    static CodePoint decodeBefore(std::string_view text, std::size_t end);

    // Unicode White_Space: what a regular expression's \s matches.
    static bool isWhiteSpace(char32_t c);
    // Space separators (category Zs) and the tab: the set trimmed from lines and cells.
    static bool isTrimmedSpace(char32_t c);
    // Characters a regular expression's "." does not cross.
    static bool isLineTerminator(char32_t c);
    // Decimal digits of any script (category Nd): what a regular expression's \d matches.
    static bool isDecimalDigit(char32_t c);
    // ASCII punctuation and the Unicode punctuation categories.
    static bool isPunctuation(char32_t c);

    // Appends the UTF-8 bytes of `c`.
    static void appendUtf8(std::string &out, char32_t c);

    // The text without isTrimmedSpace characters at either end.
    static std::string_view trimmed(std::string_view text);
};
