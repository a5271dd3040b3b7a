#include "markdown/MarkdownParser.h"

#include "markdown/UnicodeText.h"

#include <algorithm>
#include <cstddef>

namespace {

constexpr std::string_view fence = "```";

std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    lines.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    std::size_t start = 0;
    while (true) {
        const std::size_t newline = text.find('\n', start);
        if (newline == std::string_view::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        std::size_t end = newline;
        if (end > start && text[end - 1] == '\r')
            --end;
        lines.push_back(text.substr(start, end - start));
        start = newline + 1;
    }
}

bool isFence(std::string_view line)
{
    return line.starts_with(fence);
}

bool isBulletItem(std::string_view line)
{
    return line.starts_with("- ") || line.starts_with("* ");
}

// Length of a leading "^\d+\.\s" match, or 0 without one.
std::size_t numberedItemPrefix(std::string_view line)
{
    std::size_t at = 0;
    while (true) {
        const UnicodeText::CodePoint c = UnicodeText::decode(line, at);
        if (c.length == 0 || !UnicodeText::isDecimalDigit(c.value))
            break;
        at += c.length;
    }
    if (at == 0 || at >= line.size() || line[at] != '.')
        return 0;
    const UnicodeText::CodePoint space = UnicodeText::decode(line, at + 1);
    if (space.length == 0 || !UnicodeText::isWhiteSpace(space.value))
        return 0;
    return at + 1 + space.length;
}

bool isBlank(std::string_view line)
{
    return UnicodeText::trimmed(line).empty();
}

bool startsTable(const std::vector<std::string_view> &lines, std::size_t i)
{
    if (lines[i].find('|') == std::string_view::npos || i + 1 >= lines.size())
        return false;
    const std::string_view next = lines[i + 1];
    return next.find('|') != std::string_view::npos && next.find('-') != std::string_view::npos;
}

bool endsParagraph(const std::vector<std::string_view> &lines, std::size_t i)
{
    const std::string_view line = lines[i];
    return isBlank(line) || isFence(line) || isBulletItem(line) || numberedItemPrefix(line) != 0 ||
           startsTable(lines, i);
}

bool isAlignmentMarker(std::string_view cell)
{
    return cell.find_first_not_of("-:") == std::string_view::npos;
}

} // namespace

std::vector<std::string> MarkdownParser::parseTableRow(std::string_view line)
{
    std::vector<std::string> cells;
    std::size_t start = 0;
    while (start <= line.size()) {
        std::size_t pipe = line.find('|', start);
        if (pipe == std::string_view::npos)
            pipe = line.size();
        const std::string_view cell = UnicodeText::trimmed(line.substr(start, pipe - start));
        if (!cell.empty() && !isAlignmentMarker(cell))
            cells.emplace_back(cell);
        start = pipe + 1;
    }
    return cells;
}

std::vector<MarkdownBlock> MarkdownParser::parseBlocks(std::string_view text)
{
    return parseBlocksWithRestart(text).blocks;
}

MarkdownParser::ParsedBlocks MarkdownParser::parseBlocksWithRestart(std::string_view text)
{
    const std::vector<std::string_view> lines = splitLines(text);
    ParsedBlocks parsed;
    std::vector<MarkdownBlock> &blocks = parsed.blocks;
    std::size_t i = 0;
    while (i < lines.size()) {
        const std::string_view line = lines[i];

        if (isFence(line)) {
            const std::string_view info = UnicodeText::trimmed(line.substr(fence.size()));
            MarkdownBlock::CodeBlock block;
            if (!info.empty())
                block.language = std::string(info);
            ++i;
            bool first = true;
            while (i < lines.size() && !isFence(lines[i])) {
                if (!first)
                    block.code += '\n';
                block.code += lines[i];
                first = false;
                ++i;
            }
            // Step over the closing fence; an unclosed block has taken every remaining line.
            ++i;
            blocks.push_back({std::move(block)});
            continue;
        }

        if (startsTable(lines, i)) {
            MarkdownBlock::Table table{parseTableRow(line), {}};
            // The separator line is skipped without further inspection.
            i += 2;
            while (i < lines.size() && lines[i].find('|') != std::string_view::npos) {
                std::vector<std::string> row = parseTableRow(lines[i]);
                if (!row.empty())
                    table.rows.push_back(std::move(row));
                ++i;
            }
            blocks.push_back({std::move(table)});
            continue;
        }

        if (isBulletItem(line)) {
            MarkdownBlock::BulletList list;
            while (i < lines.size() && isBulletItem(lines[i])) {
                list.items.emplace_back(lines[i].substr(2));
                ++i;
            }
            blocks.push_back({std::move(list)});
            continue;
        }

        if (numberedItemPrefix(line) != 0) {
            MarkdownBlock::NumberedList list;
            while (i < lines.size()) {
                const std::size_t prefix = numberedItemPrefix(lines[i]);
                if (prefix == 0)
                    break;
                list.items.emplace_back(lines[i].substr(prefix));
                ++i;
            }
            blocks.push_back({std::move(list)});
            continue;
        }

        if (isBlank(line)) {
            ++i;
            // Every block so far has ended and the table rule's lookahead has seen this line, so
            // once the line has its "\n" (another line follows) no later text reaches back past
            // it. Without the "\n" the line may still grow into text.
            if (i < lines.size()) {
                parsed.restartOffset = static_cast<std::size_t>(lines[i].data() - text.data());
                parsed.blocksBeforeRestart = blocks.size();
            }
            continue;
        }

        std::string paragraph(line);
        ++i;
        while (i < lines.size() && !endsParagraph(lines, i)) {
            paragraph += ' ';
            paragraph += lines[i];
            ++i;
        }
        blocks.push_back({MarkdownBlock::Paragraph{std::move(paragraph)}});
    }
    return parsed;
}
