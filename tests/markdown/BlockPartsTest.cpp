#include "markdown/BlockParts.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <variant>
#include <vector>

namespace {

std::string joined(const MarkdownBlock &block, const std::vector<BlockParts::Range> &ranges)
{
    std::string text;
    for (std::size_t part = 0; part < ranges.size(); ++part) {
        const MarkdownBlock piece = BlockParts::part(block, ranges[part]);
        if (const auto *code = std::get_if<MarkdownBlock::CodeBlock>(&piece.kind))
            text += (part == 0 ? "" : "\n") + code->code;
        else
            for (const std::string &item : std::get<MarkdownBlock::BulletList>(piece.kind).items)
                text += item + ";";
    }
    return text;
}

// A paragraph cut into parts would start a line at each cut; a table's columns line up only
// within one part.
TEST(BlockParts, ParagraphsAndTablesStayWhole)
{
    std::string text;
    while (text.size() < 100 * 1024)
        text += "A sentence that ends. ";
    const MarkdownBlock paragraph{MarkdownBlock::Paragraph{text}};
    EXPECT_EQ(BlockParts::ranges(paragraph), (std::vector<BlockParts::Range>{{0, 0}}));
    EXPECT_EQ(BlockParts::part(paragraph, {0, 0}), paragraph);

    const MarkdownBlock table{
        MarkdownBlock::Table{{"a"}, std::vector(500, std::vector<std::string>{"1"})}};
    EXPECT_EQ(BlockParts::ranges(table), (std::vector<BlockParts::Range>{{0, 0}}));
}

// Code is cut at line ends and lists between items: cutting loses nothing, and a block that grows
// at its end keeps the parts it had but the last.
TEST(BlockParts, CodeAndListsJoinToTheBlockAndStayPutWhileTheyGrow)
{
    std::mt19937 random(7);
    const std::vector<std::string> words = {"word ", "\xc3\xa9t\xc3\xa9 ", "x", "a\n", "\n\n"};
    std::string text;
    std::vector<BlockParts::Range> before;
    for (int step = 0; step < 2000; ++step) {
        text += words[random() % words.size()];
        const MarkdownBlock code{MarkdownBlock::CodeBlock{text, std::nullopt}};
        const std::vector<BlockParts::Range> ranges = BlockParts::ranges(code);
        ASSERT_EQ(joined(code, ranges), text);
        for (std::size_t part = 0; part + 1 < before.size(); ++part)
            EXPECT_EQ(ranges[part], before[part]);
        before = ranges;
    }
    EXPECT_GT(before.size(), 10u);

    const MarkdownBlock list{MarkdownBlock::BulletList{std::vector<std::string>(60, "i")}};
    const std::vector<BlockParts::Range> items = BlockParts::ranges(list);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[2], (BlockParts::Range{50, 60}));
    std::string all;
    for (int item = 0; item < 60; ++item)
        all += "i;";
    EXPECT_EQ(joined(list, items), all);
}

} // namespace
