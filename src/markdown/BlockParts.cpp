#include "markdown/BlockParts.h"

#include <string>
#include <string_view>
#include <variant>

namespace {

std::vector<BlockParts::Range> codeRanges(std::string_view code)
{
    std::vector<BlockParts::Range> ranges;
    std::size_t begin = 0;
    std::size_t lines = 0;
    for (std::size_t at = 0; at < code.size(); ++at) {
        if (code[at] != '\n' || ++lines < BlockParts::codeLines)
            continue;
        // The newline between two parts belongs to neither.
        ranges.push_back({begin, at});
        begin = at + 1;
        lines = 0;
    }
    ranges.push_back({begin, code.size()});
    return ranges;
}

std::vector<BlockParts::Range> itemRanges(std::size_t count)
{
    std::vector<BlockParts::Range> ranges;
    for (std::size_t begin = 0; begin < count || ranges.empty(); begin += BlockParts::listItems)
        ranges.push_back({begin, std::min(count, begin + BlockParts::listItems)});
    return ranges;
}

std::vector<std::string> slice(const std::vector<std::string> &items, BlockParts::Range range)
{
    return {items.begin() + static_cast<std::ptrdiff_t>(range.begin),
            items.begin() + static_cast<std::ptrdiff_t>(range.end)};
}

} // namespace

std::vector<BlockParts::Range> BlockParts::ranges(const MarkdownBlock &block)
{
    if (const auto *code = std::get_if<MarkdownBlock::CodeBlock>(&block.kind))
        return codeRanges(code->code);
    if (const auto *bullets = std::get_if<MarkdownBlock::BulletList>(&block.kind))
        return itemRanges(bullets->items.size());
    if (const auto *numbers = std::get_if<MarkdownBlock::NumberedList>(&block.kind))
        return itemRanges(numbers->items.size());
    return {{0, 0}};
}

MarkdownBlock BlockParts::part(const MarkdownBlock &block, Range range)
{
    if (const auto *code = std::get_if<MarkdownBlock::CodeBlock>(&block.kind))
        return {MarkdownBlock::CodeBlock{code->code.substr(range.begin, range.end - range.begin),
                                         code->language}};
    if (const auto *bullets = std::get_if<MarkdownBlock::BulletList>(&block.kind))
        return {MarkdownBlock::BulletList{slice(bullets->items, range)}};
    if (const auto *numbers = std::get_if<MarkdownBlock::NumberedList>(&block.kind))
        return {MarkdownBlock::NumberedList{slice(numbers->items, range)}};
    return block;
}
