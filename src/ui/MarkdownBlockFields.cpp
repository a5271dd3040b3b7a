#include "ui/MarkdownBlockFields.h"

#include "markdown/InlineMarkdown.h"
#include "model/Overloaded.h"

#include <string>
#include <variant>
#include <vector>

namespace {

QStringList plainTexts(const std::vector<std::string> &texts)
{
    QStringList result;
    result.reserve(static_cast<qsizetype>(texts.size()));
    for (const std::string &text : texts)
        result.append(QString::fromStdString(text));
    return result;
}

QStringList richTexts(const std::vector<std::string> &texts, bool isUser)
{
    QStringList result;
    result.reserve(static_cast<qsizetype>(texts.size()));
    for (const std::string &text : texts)
        result.append(InlineMarkdown::inlineText(text, isUser));
    return result;
}

} // namespace

QString MarkdownBlockFields::kind(const MarkdownBlock &block)
{
    return std::visit(
        Overloaded{
            [](const MarkdownBlock::Paragraph &) { return QStringLiteral("paragraph"); },
            [](const MarkdownBlock::CodeBlock &) { return QStringLiteral("code"); },
            [](const MarkdownBlock::Table &) { return QStringLiteral("table"); },
            [](const MarkdownBlock::BulletList &) { return QStringLiteral("bulletList"); },
            [](const MarkdownBlock::NumberedList &) { return QStringLiteral("numberedList"); },
        },
        block.kind);
}

QString MarkdownBlockFields::text(const MarkdownBlock &block, bool isUser)
{
    if (const auto *paragraph = std::get_if<MarkdownBlock::Paragraph>(&block.kind))
        return InlineMarkdown::inlineText(paragraph->text, isUser);
    if (const auto *code = std::get_if<MarkdownBlock::CodeBlock>(&block.kind))
        return QString::fromStdString(code->code);
    return {};
}

QStringList MarkdownBlockFields::items(const MarkdownBlock &block, bool isUser)
{
    if (const auto *bullets = std::get_if<MarkdownBlock::BulletList>(&block.kind))
        return richTexts(bullets->items, isUser);
    if (const auto *numbers = std::get_if<MarkdownBlock::NumberedList>(&block.kind))
        return richTexts(numbers->items, isUser);
    return {};
}

QStringList MarkdownBlockFields::headers(const MarkdownBlock &block)
{
    if (const auto *table = std::get_if<MarkdownBlock::Table>(&block.kind))
        return plainTexts(table->headers);
    return {};
}

QVariantList MarkdownBlockFields::rows(const MarkdownBlock &block)
{
    QVariantList rows;
    if (const auto *table = std::get_if<MarkdownBlock::Table>(&block.kind)) {
        for (const auto &row : table->rows)
            rows.append(plainTexts(row));
    }
    return rows;
}

std::string MarkdownBlockFields::source(const MarkdownBlock &block)
{
    // The kind's index leads, and a separator no text holds parts the pieces.
    std::string text(1, static_cast<char>('0' + block.kind.index()));
    const auto add = [&text](const std::string &piece) {
        text += '\0';
        text += piece;
    };
    std::visit(Overloaded{
                   [&add](const MarkdownBlock::Paragraph &paragraph) { add(paragraph.text); },
                   [&add](const MarkdownBlock::CodeBlock &code) {
                       add(code.code);
                       add(code.language.value_or(std::string()));
                   },
                   [&add](const MarkdownBlock::Table &table) {
                       for (const std::string &cell : table.headers)
                           add(cell);
                       for (const auto &row : table.rows) {
                           add("\n");
                           for (const std::string &cell : row)
                               add(cell);
                       }
                   },
                   [&add](const MarkdownBlock::BulletList &list) {
                       for (const std::string &item : list.items)
                           add(item);
                   },
                   [&add](const MarkdownBlock::NumberedList &list) {
                       for (const std::string &item : list.items)
                           add(item);
                   },
               },
               block.kind);
    return text;
}
