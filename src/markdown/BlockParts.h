#pragma once

#include "markdown/MarkdownBlock.h"

#include <cstddef>
#include <vector>

// How a long block is cut into parts, so that a list view keeps only the parts on screen and a
// growing block redraws only its last part. Paragraphs are cut after a sentence (or failing that
// a space) once they pass paragraphBytes, code every codeLines lines, lists every listItems
// items. Tables stay whole. Cuts only depend on the text before them, so the parts of a block
// that grows at its end keep their text.
class BlockParts
{
public:
    static constexpr std::size_t paragraphBytes = 1500;
    static constexpr std::size_t codeLines = 40;
    static constexpr std::size_t listItems = 25;

    // Half-open ranges: of bytes for paragraphs and code, of items for lists.
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
