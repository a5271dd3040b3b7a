#include "ui/UnicodeText.h"

#include <gtest/gtest.h>
#include <string>

namespace {

struct DecodeCase
{
    std::string bytes;
    char32_t value;
    std::size_t length;
};

class UnicodeTextDecode : public ::testing::TestWithParam<DecodeCase>
{};

TEST_P(UnicodeTextDecode, ReadsOneCodePointOrOneReplacementPerBadByte)
{
    const DecodeCase &c = GetParam();
    const UnicodeText::CodePoint forward = UnicodeText::decode(c.bytes, 0);
    EXPECT_EQ(forward.value, c.value);
    EXPECT_EQ(forward.length, c.length);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UnicodeTextDecode,
    ::testing::Values(DecodeCase{"a", U'a', 1}, DecodeCase{"\xC3\xA9", U'\u00E9', 2},
                      DecodeCase{"\xE2\x80\xA8", U'\u2028', 3},
                      DecodeCase{"\xF0\x9F\x98\x80", U'\U0001F600', 4},
                      // Overlong, surrogate, past the last plane, truncated, stray continuation.
                      DecodeCase{"\xC0\x80", 0xFFFD, 1}, DecodeCase{"\xED\xA0\x80", 0xFFFD, 1},
                      DecodeCase{"\xF4\x90\x80\x80", 0xFFFD, 1}, DecodeCase{"\xE2\x82", 0xFFFD, 1},
                      DecodeCase{"\x80", 0xFFFD, 1}, DecodeCase{"\xFF", 0xFFFD, 1}));

TEST(UnicodeText, DecodeAtTheEndReadsNothing)
{
    EXPECT_EQ(UnicodeText::decode("ab", 2).length, 0u);
    EXPECT_EQ(UnicodeText::decodeBefore("ab", 0).length, 0u);
}

TEST(UnicodeText, DecodeBeforeFindsTheStartOfTheLastCodePoint)
{
    const std::string text = "a\xE2\x80\xA8";
    EXPECT_EQ(UnicodeText::decodeBefore(text, text.size()).value, U'\u2028');
    EXPECT_EQ(UnicodeText::decodeBefore(text, text.size()).length, 3u);
    // A continuation byte without its lead is one bad byte, not the tail of "a".
    EXPECT_EQ(UnicodeText::decodeBefore("a\x80", 2).value, 0xFFFDu);
    EXPECT_EQ(UnicodeText::decodeBefore("a\x80", 2).length, 1u);
    // A truncated sequence reads as its last byte alone.
    EXPECT_EQ(UnicodeText::decodeBefore("\xE2\x82", 2).length, 1u);
}

TEST(UnicodeText, TrimmedRemovesSpaceSeparatorsAndTabsButNotLineBreaks)
{
    EXPECT_EQ(UnicodeText::trimmed(" \t\xC2\xA0x y\xE3\x80\x80\xE2\x80\x89"), "x y");
    EXPECT_EQ(UnicodeText::trimmed("\rx\n"), "\rx\n");
    EXPECT_EQ(UnicodeText::trimmed("\xE2\x80\xA8x"), "\xE2\x80\xA8x");
    // Zero width space is a format character, not a space separator.
    EXPECT_EQ(UnicodeText::trimmed("\xE2\x80\x8Bx"), "\xE2\x80\x8Bx");
    EXPECT_EQ(UnicodeText::trimmed(" \t "), "");
    EXPECT_EQ(UnicodeText::trimmed("\xFF "), "\xFF");
}

TEST(UnicodeText, CharacterClassesFollowTheRegularExpressionDefinitions)
{
    for (const char32_t c :
         {U'\t', U'\n', U'\v', U'\f', U'\r', U' ', U'\u0085', U'\u00A0', U'\u1680', U'\u2000',
          U'\u200A', U'\u2028', U'\u2029', U'\u202F', U'\u205F', U'\u3000'})
        EXPECT_TRUE(UnicodeText::isWhiteSpace(c)) << static_cast<unsigned>(c);
    for (const char32_t c : {U'a', U'\u200B', U'\uFEFF', U'\u0000'})
        EXPECT_FALSE(UnicodeText::isWhiteSpace(c)) << static_cast<unsigned>(c);

    EXPECT_TRUE(UnicodeText::isTrimmedSpace(U'\t'));
    EXPECT_TRUE(UnicodeText::isTrimmedSpace(U'\u3000'));
    EXPECT_FALSE(UnicodeText::isTrimmedSpace(U'\n'));
    EXPECT_FALSE(UnicodeText::isTrimmedSpace(U'\u2028'));

    EXPECT_TRUE(UnicodeText::isDecimalDigit(U'7'));
    EXPECT_TRUE(UnicodeText::isDecimalDigit(U'\u0663'));
    EXPECT_FALSE(UnicodeText::isDecimalDigit(U'\u00B2'));
    EXPECT_FALSE(UnicodeText::isDecimalDigit(U'x'));

    EXPECT_TRUE(UnicodeText::isPunctuation(U'*'));
    EXPECT_TRUE(UnicodeText::isPunctuation(U'\u201C'));
    EXPECT_FALSE(UnicodeText::isPunctuation(U'a'));
    EXPECT_FALSE(UnicodeText::isPunctuation(U' '));

    EXPECT_TRUE(UnicodeText::isLineTerminator(U'\r'));
    EXPECT_TRUE(UnicodeText::isLineTerminator(U'\u2029'));
    EXPECT_FALSE(UnicodeText::isLineTerminator(U'\t'));
}

} // namespace
