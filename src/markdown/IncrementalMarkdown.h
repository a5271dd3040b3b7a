#pragma once

#include "markdown/MarkdownBlock.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The blocks of a text that grows while a reply streams in. Everything before the last blank line
// that ends in "\n" is settled for good, so each update parses only the text after it and the
// cost of a delta does not grow with the reply. A text that is not a continuation of the previous
// one is parsed in full.
class IncrementalMarkdown
{
public:
    // Takes the whole current text and returns the index of the first block that differs from the
    // previous result (the block count when none does); the blocks before it are unchanged, so a
    // view keeps their items. Returns 0 when the text does not continue the previous one.
    std::size_t update(std::string_view text);

    // The blocks of the last text given, the same as MarkdownParser::parseBlocks of it.
    const std::vector<MarkdownBlock> &blocks() const { return blocks_; }

private:
    std::string text_;
    // The settled blocks first, then those of the text from restartOffset_ on.
    std::vector<MarkdownBlock> blocks_;
    std::size_t settledBlocks_ = 0;
    std::size_t restartOffset_ = 0;
};
