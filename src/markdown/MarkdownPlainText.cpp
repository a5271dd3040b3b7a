#include "markdown/MarkdownPlainText.h"

#include "markdown/InlineMarkdown.h"
#include "markdown/MarkdownParser.h"
#include "model/Overloaded.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace {

std::string inlineText(std::string_view text)
{
    std::string plain;
    for (const InlineRun &run : InlineMarkdown::runs(text))
        plain += run.text;
    return plain;
}

std::string row(const std::vector<std::string> &cells)
{
    std::string joined;
    for (const std::string &cell : cells)
        joined += (joined.empty() ? "" : ", ") + cell;
    return joined;
}

// The block's lines: one for a paragraph or a code block, one per item or table row.
std::vector<std::string> lines(const MarkdownBlock &block)
{
    return std::visit(Overloaded{
                          [](const MarkdownBlock::Paragraph &paragraph) {
                              return std::vector<std::string>{inlineText(paragraph.text)};
                          },
                          [](const MarkdownBlock::CodeBlock &code) {
                              return std::vector<std::string>{code.code};
                          },
                          [](const MarkdownBlock::Table &table) {
                              std::vector<std::string> rows;
                              if (!table.headers.empty())
                                  rows.push_back(row(table.headers));
                              for (const auto &cells : table.rows)
                                  rows.push_back(row(cells));
                              return rows;
                          },
                          [](const MarkdownBlock::BulletList &list) {
                              std::vector<std::string> items;
                              for (const std::string &item : list.items)
                                  items.push_back(inlineText(item));
                              return items;
                          },
                          [](const MarkdownBlock::NumberedList &list) {
                              std::vector<std::string> items;
                              for (const std::string &item : list.items)
                                  items.push_back(std::to_string(items.size() + 1) + ". " +
                                                  inlineText(item));
                              return items;
                          },
                      },
                      block.kind);
}

} // namespace

QString MarkdownPlainText::of(const QString &markdown)
{
    const std::string utf8 = markdown.toStdString();
    std::string text;
    bool first = true;
    for (const MarkdownBlock &block : MarkdownParser::parseBlocks(utf8)) {
        // Lines of one block are parted by a line break, blocks by a blank line.
        std::string_view separator = "\n\n";
        for (const std::string &line : lines(block)) {
            if (!first)
                text += separator;
            text += line;
            first = false;
            separator = "\n";
        }
    }
    return QString::fromStdString(text);
}
