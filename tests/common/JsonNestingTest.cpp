#include "common/JsonNesting.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>

namespace {

struct NestingCase
{
    const char *name;
    std::string text;
    std::size_t maximumDepth;
    bool exceeds;

    friend void PrintTo(const NestingCase &nestingCase, std::ostream *out)
    {
        *out << nestingCase.name;
    }
};

std::string nested(std::size_t depth)
{
    return std::string(depth, '[') + std::string(depth, ']');
}

class JsonNestingTest : public testing::TestWithParam<NestingCase>
{};

// The chat stream and the local backend both refuse text nested past 512 levels before parsing
// it; only brackets that JSON reads as structure count.
TEST_P(JsonNestingTest, CountsOnlyStructuralBrackets)
{
    const auto &[name, text, maximumDepth, exceeds] = GetParam();
    EXPECT_EQ(JsonNesting::exceeds(text, maximumDepth), exceeds) << text.substr(0, 80);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JsonNestingTest,
    testing::Values(
        NestingCase{"AtTheLimit", nested(512), 512, false},
        NestingCase{"OnePastTheLimit", nested(513), 512, true},
        NestingCase{"SiblingsDoNotAddUp", "[[1],[2],[3],{}]", 2, false},
        NestingCase{"BracketsInsideAString", R"(["[[[{{{"])", 1, false},
        NestingCase{"EscapedQuoteKeepsTheStringOpen", R"(["\"[[[{{{"])", 1, false},
        NestingCase{"EscapedBackslashEndsBeforeTheQuote", R"(["\\",[[1]]])", 2, true},
        NestingCase{"ClosingBracketsInAStringDoNotLowerTheDepth", R"([["]]",[1]]])", 2, true},
        NestingCase{"StrayClosingBracketsDoNotGoBelowZero", "]]]]" + nested(2), 1, true}),
    [](const testing::TestParamInfo<NestingCase> &param) { return std::string(param.param.name); });

} // namespace
