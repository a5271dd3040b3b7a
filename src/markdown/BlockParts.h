#pragma once

#include "markdown/MarkdownBlock.h"

#include <cstddef>
#include <vector>

// How a long block is cut into parts, so that a list view keeps only the parts on screen and a
// growing block redraws only its last part. Code is cut every codeLines lines and lists every
// listItems items: each part starts a line the text starts anyway, so the cuts never show.
// Paragraphs and tables stay whole, since a paragraph cut anywhere would start a line of its own
// there. Cuts only depend on the text before them, so the parts of a block that grows at its end
// keep their text.
class BlockParts
{
public:
    static constexpr std::size_t codeLines = 40;
    static constexpr std::size_t listItems = 25;

    // Half-open ranges: of bytes for code, of items for lists.
    struct Range
    {
        std::size_t begin = 0;
        std::size_t end = 0;

        friend bool operator==(const Range &, const Range &) = default;
    };

    // One range at least, also for an empty block.
    static std::vector<Range> ranges(const MarkdownBlock &block);
    // A block of the same kind holding only that part.
    static MarkdownBlock part(const MarkdownBlock &block, Range range);
};
