#include "markdown/BlockParts.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <variant>
#include <vector>

namespace {

std::string joined(const MarkdownBlock &block, const std::vector<BlockParts::Range> &ranges,
                   const std::string &separator)
{
    std::string text;
    for (std::size_t part = 0; part < ranges.size(); ++part) {
        const MarkdownBlock piece = BlockParts::part(block, ranges[part]);
        text += part == 0 ? "" : separator;
        if (const auto *paragraph = std::get_if<MarkdownBlock::Paragraph>(&piece.kind))
            text += paragraph->text;
        else if (const auto *code = std::get_if<MarkdownBlock::CodeBlock>(&piece.kind))
            text += code->code;
        else
            for (const std::string &item : std::get<MarkdownBlock::BulletList>(piece.kind).items)
                text += item + ";";
    }
    return text;
}

// Cutting loses nothing, and a block that grows at its end keeps the parts it had but the last.
TEST(BlockParts, PartsJoinToTheBlockAndStayPutWhileItGrows)
{
    std::mt19937 random(7);
    const std::vector<std::string> words = {"word ", "end. ", "\xc3\xa9t\xc3\xa9 ",
                                            "x",     "a\n",   std::string(700, 'y')};
    std::string text;
    std::vector<BlockParts::Range> before;
    for (int step = 0; step < 400; ++step) {
        text += words[random() % words.size()];
        const MarkdownBlock paragraph{MarkdownBlock::Paragraph{text}};
        const std::vector<BlockParts::Range> ranges = BlockParts::ranges(paragraph);
        ASSERT_EQ(joined(paragraph, ranges, ""), text);
        for (const BlockParts::Range &range : ranges) {
            EXPECT_LE(range.end - range.begin, BlockParts::paragraphBytes);
            // Never inside a character.
            EXPECT_NE(static_cast<unsigned char>(text[range.begin]) & 0xC0, 0x80);
        }
        for (std::size_t part = 0; part + 1 < before.size(); ++part)
            EXPECT_EQ(ranges[part], before[part]);
        before = ranges;

        const MarkdownBlock code{MarkdownBlock::CodeBlock{text, std::nullopt}};
        EXPECT_EQ(joined(code, BlockParts::ranges(code), "\n"), text);
    }
    EXPECT_GT(before.size(), 10u);

    const MarkdownBlock list{MarkdownBlock::BulletList{std::vector<std::string>(60, "i")}};
    const std::vector<BlockParts::Range> items = BlockParts::ranges(list);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[2], (BlockParts::Range{50, 60}));
    std::string all;
    for (int item = 0; item < 60; ++item)
        all += "i;";
    EXPECT_EQ(joined(list, items, ""), all);
}

} // namespace
