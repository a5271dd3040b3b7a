#pragma once

#include "markdown/MarkdownBlock.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The line-oriented block parser of message texts. Only the five block kinds are recognised;
// headings, quotes, rules, nested lists and indented code stay paragraph text, and the inline
// step renders whatever inline syntax they contain. Holds no state.
class MarkdownParser
{
public:
    // The blocks of a UTF-8 text, split at "\n" (a "\r" right before a "\n" is dropped, so CRLF
    // text parses as LF text). An empty text, or one of blank lines only, has no blocks.
    static std::vector<MarkdownBlock> parseBlocks(std::string_view text);

    // The blocks of a text and the last point from which a text that only grows can be parsed
    // again: the byte offset just after the last blank line outside a code block that ends in
    // "\n". Nothing appended can change the blocks before it, and parsing the text from it gives
    // the blocks after it. Offset and count are both 0 when the text has no such point.
    struct ParsedBlocks
    {
        std::vector<MarkdownBlock> blocks;
        std::size_t restartOffset = 0;
        std::size_t blocksBeforeRestart = 0;
    };
    static ParsedBlocks parseBlocksWithRestart(std::string_view text);

    // The cells of one table line: the pieces between pipes, trimmed, without empty pieces and
    // without pieces made only of "-" and ":" (alignment markers, which have no effect).
    static std::vector<std::string> parseTableRow(std::string_view line);
};
