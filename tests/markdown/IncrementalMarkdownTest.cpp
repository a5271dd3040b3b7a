#include "markdown/IncrementalMarkdown.h"

#include "markdown/MarkdownParser.h"

#include <algorithm>
#include <cstddef>
#include <gtest/gtest.h>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace {

// Streams the text in deltas of 1 to 12 bytes, so that cuts fall inside fences, CRLF pairs and
// multi-byte characters, and checks every update against a full parse.
void streamInDeltas(std::string_view text, std::mt19937 &random)
{
    IncrementalMarkdown markdown;
    std::vector<MarkdownBlock> previous;
    std::uniform_int_distribution<std::size_t> deltaSize(1, 12);
    std::size_t end = 0;
    while (end < text.size()) {
        end = std::min(text.size(), end + deltaSize(random));
        const std::size_t firstChanged = markdown.update(text.substr(0, end));
        const std::vector<MarkdownBlock> &blocks = markdown.blocks();
        ASSERT_EQ(blocks, MarkdownParser::parseBlocks(text.substr(0, end))) << text.substr(0, end);
        ASSERT_LE(firstChanged, std::min(previous.size(), blocks.size()));
        ASSERT_TRUE(std::equal(previous.begin(),
                               previous.begin() + static_cast<std::ptrdiff_t>(firstChanged),
                               blocks.begin()));
        previous = blocks;
    }
}

TEST(IncrementalMarkdown, StreamedRandomTextsMatchAFullParse)
{
    static const char *const fragments[] = {"```", "```py", "|",    "---",      "- ",
                                            "* ",  "1. ",   "\n",   "\r\n",     " ",
                                            "a",   "**b**", "\n\n", "\xC2\xA0", "x | y\n---|---\n"};
    std::mt19937 random(20240611);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(fragments) - 1);
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const int length = std::uniform_int_distribution<int>(1, 40)(random);
        for (int i = 0; i < length; ++i)
            text += fragments[pick(random)];
        streamInDeltas(text, random);
    }
}

TEST(IncrementalMarkdown, StreamedReplyMatchesAFullParse)
{
    const std::string reply =
        "Sure \xE2\x80\x94 here is the **plan**:\n\n1. Read the file\n2. Parse it\n\n"
        "| Step | Cost |\n|------|-----:|\n| read | 2 ms |\n| parse | 5 ms |\n\n"
        "```cpp\nint main()\n{\n\n    return 0;\n}\n```\n\n- one\n- two\n\r\n"
        "A closing paragraph\nthat runs over two lines.\n\n";
    std::mt19937 random(7);
    for (int round = 0; round < 50; ++round)
        streamInDeltas(reply, random);
}

TEST(IncrementalMarkdown, TextThatDoesNotContinueIsParsedAgain)
{
    IncrementalMarkdown markdown;
    markdown.update("a\n\n- b\n\nc");
    for (const std::string_view text : {"a\n\n- x\n\nc", "a\n\n", "other"}) {
        EXPECT_EQ(markdown.update(text), 0u) << text;
        EXPECT_EQ(markdown.blocks(), MarkdownParser::parseBlocks(text)) << text;
    }
}

TEST(IncrementalMarkdown, RestartsAfterTheLastCompleteBlankLineOutsideCode)
{
    for (const auto &[text, offset, before] :
         std::initializer_list<std::tuple<std::string_view, std::size_t, std::size_t>>{
             {"a\n\n- b\n \nc", 9, 2},
             {"a\r\n\r\nb", 5, 1},
             {"a\n\n", 3, 1},
             {"a\n ", 0, 0},
             {"```\n\nx", 0, 0}}) {
        const MarkdownParser::ParsedBlocks parsed = MarkdownParser::parseBlocksWithRestart(text);
        EXPECT_EQ(parsed.restartOffset, offset) << text;
        EXPECT_EQ(parsed.blocksBeforeRestart, before) << text;
    }
}

} // namespace
