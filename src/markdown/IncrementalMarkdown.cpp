#include "markdown/IncrementalMarkdown.h"

#include "markdown/MarkdownParser.h"

#include <algorithm>
#include <iterator>
#include <utility>

std::size_t IncrementalMarkdown::update(std::string_view text)
{
    if (!text.starts_with(text_)) {
        text_ = text;
        MarkdownParser::ParsedBlocks parsed = MarkdownParser::parseBlocksWithRestart(text);
        blocks_ = std::move(parsed.blocks);
        settledBlocks_ = parsed.blocksBeforeRestart;
        restartOffset_ = parsed.restartOffset;
        return 0;
    }

    text_.append(text.substr(text_.size()));
    MarkdownParser::ParsedBlocks tail =
        MarkdownParser::parseBlocksWithRestart(std::string_view(text_).substr(restartOffset_));

    // Tail blocks that came out the same stay in place, so only what changed is replaced.
    const auto oldTail = blocks_.begin() + static_cast<std::ptrdiff_t>(settledBlocks_);
    const auto [oldChanged, newChanged] =
        std::mismatch(oldTail, blocks_.end(), tail.blocks.begin(), tail.blocks.end());
    const auto firstChanged = static_cast<std::size_t>(oldChanged - blocks_.begin());
    blocks_.erase(oldChanged, blocks_.end());
    blocks_.insert(blocks_.end(), std::make_move_iterator(newChanged),
                   std::make_move_iterator(tail.blocks.end()));

    // A restart point found in the tail lies after the stored one; without one both of its
    // figures are 0.
    settledBlocks_ += tail.blocksBeforeRestart;
    restartOffset_ += tail.restartOffset;
    return firstChanged;
}
