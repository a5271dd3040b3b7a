#include "ui/HexColor.h"

#include <QString>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>

namespace {

struct ColorCase
{
    const char16_t *hex;
    int red;
    int green;
    int blue;
    int alpha;
};

class HexColor : public ::testing::TestWithParam<ColorCase>
{};

TEST_P(HexColor, DecodesByTrimmedLength)
{
    const ColorCase &c = GetParam();
    const QColor color = colorFromHex(QStringView(c.hex));
    EXPECT_EQ(color.spec(), QColor::Rgb);
    EXPECT_EQ(color.red(), c.red) << QString::fromUtf16(c.hex).toStdString();
    EXPECT_EQ(color.green(), c.green) << QString::fromUtf16(c.hex).toStdString();
    EXPECT_EQ(color.blue(), c.blue) << QString::fromUtf16(c.hex).toStdString();
    EXPECT_EQ(color.alpha(), c.alpha) << QString::fromUtf16(c.hex).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, HexColor,
    ::testing::Values(
        ColorCase{u"c17f59", 193, 127, 89, 255}, ColorCase{u"4CAF50", 76, 175, 80, 255},
        ColorCase{u"E53935", 229, 57, 53, 255}, ColorCase{u"FF9800", 255, 152, 0, 255},
        ColorCase{u"#FFF", 255, 255, 255, 255}, ColorCase{u"fff", 255, 255, 255, 255},
        ColorCase{u"#abc", 170, 187, 204, 255}, ColorCase{u"80FF0000", 255, 0, 0, 128},
        ColorCase{u"12345", 0, 0, 0, 255}, ColorCase{u"zzzzzz", 0, 0, 0, 255},
        // Eight characters, so alpha first: the scanned 0xc17f59 has alpha 0.
        ColorCase{u"0xc17f59", 193, 127, 89, 0},
        // Only the ends are trimmed, and only of non-alphanumerics.
        ColorCase{u"  #c17f59!; ", 193, 127, 89, 255}, ColorCase{u"#c1 7f59", 0, 0, 0, 255},
        ColorCase{u"a#b", 0, 0, 170, 255}, ColorCase{u"", 0, 0, 0, 255},
        ColorCase{u"##", 0, 0, 0, 255},
        // Scanning stops at the first character that is not hexadecimal.
        ColorCase{u"ffg", 0, 255, 255, 255}, ColorCase{u"0x1", 0, 0, 17, 255},
        // Letters of any script are kept, and count as characters.
        ColorCase{u"\u00e9ff", 0, 0, 0, 255}, ColorCase{u"\u0661\u0662\u0663", 0, 0, 0, 255},
        // A combining mark is part of its character: three characters, RGB.
        ColorCase{u"abc\u0301", 170, 187, 204, 255},
        ColorCase{u"\U0001F600fff\U0001F600", 255, 255, 255, 255}));

TEST(HexColor, ScansLikeThePlatformScanner)
{
    EXPECT_EQ(scanHexUInt64(u""), 0u);
    EXPECT_EQ(scanHexUInt64(u"0x"), 0u);
    EXPECT_EQ(scanHexUInt64(u"0xg"), 0u);
    EXPECT_EQ(scanHexUInt64(u"1f"), 0x1Fu);
    EXPECT_EQ(scanHexUInt64(u"0X1F"), 0x1Fu);
    EXPECT_EQ(scanHexUInt64(u"12zz34"), 0x12u);
    EXPECT_EQ(scanHexUInt64(u" 12"), 0u);
    EXPECT_EQ(scanHexUInt64(u"ffffffffffffffff"), std::numeric_limits<std::uint64_t>::max());
}

TEST(HexColor, ScanSaturatesOnOverflow)
{
    EXPECT_EQ(scanHexUInt64(u"10000000000000000"), std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(scanHexUInt64(u"123456789abcdef0123"), std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(scanHexUInt64(u"0x1ffffffffffffffffZ"), std::numeric_limits<std::uint64_t>::max());
}

} // namespace
