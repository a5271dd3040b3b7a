#include "model/Graphemes.h"

#include <QString>
#include <gtest/gtest.h>

namespace {

struct PrefixCase
{
    const char *name;
    QString text;
    qsizetype count;
    QString expected;
};

class GraphemesPrefix : public testing::TestWithParam<PrefixCase>
{};

const QString family = QStringLiteral("👨‍👩‍👧");
const QString flag = QStringLiteral("🇫🇷");
const QString accented = QStringLiteral("e\u0301");

// One character of `marks + 1` code units: a base letter carrying many combining marks, longer
// than any first guess at how far the cut needs to look.
QString heavilyAccented(int marks)
{
    return QStringLiteral("a") + QString(marks, QChar(0x0301));
}

} // namespace

TEST_P(GraphemesPrefix, CutsWholeCharacters)
{
    const auto &param = GetParam();
    EXPECT_EQ(Graphemes::prefix(param.text, param.count).toString(), param.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Graphemes, GraphemesPrefix,
    testing::Values(
        PrefixCase{"Ascii", QStringLiteral("abcdef"), 3, QStringLiteral("abc")},
        PrefixCase{"ShorterThanCount", QStringLiteral("ab"), 5, QStringLiteral("ab")},
        PrefixCase{"Zero", QStringLiteral("ab"), 0, QString()},
        PrefixCase{"Empty", QString(), 3, QString()},
        PrefixCase{"SurrogatePairs", QStringLiteral("😀😀😀"), 2, QStringLiteral("😀😀")},
        PrefixCase{"CombiningMark", accented + accented + accented, 2, accented + accented},
        PrefixCase{"EmojiSequence", family + family, 1, family},
        PrefixCase{"Flags", flag + flag + flag, 2, flag + flag},
        PrefixCase{"CharacterLongerThanTheFirstWindow",
                   QStringLiteral("x") + heavilyAccented(40) + QStringLiteral("yz"), 2,
                   QStringLiteral("x") + heavilyAccented(40)},
        PrefixCase{"WindowEndingInsideAPair", QStringLiteral("abc") + family + QStringLiteral("d"),
                   4, QStringLiteral("abc") + family}),
    [](const testing::TestParamInfo<PrefixCase> &caseInfo) {
        return std::string(caseInfo.param.name);
    });

TEST(Graphemes, CountsUserPerceivedCharacters)
{
    EXPECT_EQ(Graphemes::count(QString()), 0);
    EXPECT_EQ(Graphemes::count(QStringLiteral("héllo")), 5);
    EXPECT_EQ(Graphemes::count(flag + family + accented + QStringLiteral("😀")), 4);
    EXPECT_EQ(Graphemes::count(heavilyAccented(300)), 1);
}
