#include "Text.h"

#include <gtest/gtest.h>

namespace {

TEST(Text, Utf8IsCheckedStrictly)
{
    for (const auto *valid : {"", "abc", "Grüße", "👋", "\xe2\x82\xac"})
        EXPECT_TRUE(Text::isValidUtf8(valid)) << valid;
    for (const auto *invalid :
         {"\xff", "\xc3", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "a\x80"})
        EXPECT_FALSE(Text::isValidUtf8(invalid)) << invalid;
}

TEST(Text, TruncationKeepsWholeCharacters)
{
    EXPECT_EQ(Text::truncate("Grüße", 3), "Gr");
    EXPECT_EQ(Text::truncate("Grüße", 4), "Grü");
    EXPECT_EQ(Text::truncate("abc", 10), "abc");
}

TEST(Text, TrimLowerAndControls)
{
    EXPECT_EQ(Text::trim(" \t a b \n"), "a b");
    EXPECT_EQ(Text::lower("AbC-Ü"), "abc-Ü");
    EXPECT_TRUE(Text::hasControlCharacters("a\nb"));
    EXPECT_TRUE(Text::hasControlCharacters("\x7f"));
    EXPECT_FALSE(Text::hasControlCharacters("plain text"));
}

} // namespace
