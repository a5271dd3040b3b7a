#include "markdown/BlockParts.h"

#include <string>
#include <string_view>
#include <variant>

namespace {

// Whether the byte starts a UTF-8 sequence, so a cut before it splits no character.
bool startsCharacter(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
}

// Where a paragraph's part that starts at `begin` ends: after the last sentence end within
// the limit, else after the last space, else at the limit itself.
std::size_t paragraphCut(std::string_view text, std::size_t begin)
{
    const std::size_t limit = begin + BlockParts::paragraphBytes;
    std::size_t space = std::string_view::npos;
    for (std::size_t at = limit; at > begin + 1; --at) {
        if (text[at - 1] != ' ')
            continue;
        const char before = text[at - 2];
        if (before == '.' || before == '!' || before == '?')
            return at;
        if (space == std::string_view::npos)
            space = at;
    }
    if (space != std::string_view::npos)
        return space;
    std::size_t cut = limit;
    while (cut > begin + 1 && !startsCharacter(text[cut]))
        --cut;
    return cut;
}

std::vector<BlockParts::Range> paragraphRanges(std::string_view text)
{
    std::vector<BlockParts::Range> ranges;
    std::size_t begin = 0;
    while (text.size() - begin > BlockParts::paragraphBytes) {
        const std::size_t end = paragraphCut(text, begin);
        ranges.push_back({begin, end});
        begin = end;
    }
    ranges.push_back({begin, text.size()});
    return ranges;
}

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
    if (const auto *paragraph = std::get_if<MarkdownBlock::Paragraph>(&block.kind))
        return paragraphRanges(paragraph->text);
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
    if (const auto *paragraph = std::get_if<MarkdownBlock::Paragraph>(&block.kind))
        return {
            MarkdownBlock::Paragraph{paragraph->text.substr(range.begin, range.end - range.begin)}};
    if (const auto *code = std::get_if<MarkdownBlock::CodeBlock>(&block.kind))
        return {MarkdownBlock::CodeBlock{code->code.substr(range.begin, range.end - range.begin),
                                         code->language}};
    if (const auto *bullets = std::get_if<MarkdownBlock::BulletList>(&block.kind))
        return {MarkdownBlock::BulletList{slice(bullets->items, range)}};
    if (const auto *numbers = std::get_if<MarkdownBlock::NumberedList>(&block.kind))
        return {MarkdownBlock::NumberedList{slice(numbers->items, range)}};
    return block;
}
