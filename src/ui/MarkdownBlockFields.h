#pragma once

#include "markdown/MarkdownBlock.h"

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <string>

// What a view draws of one block, for the models that hand blocks to QML.
namespace MarkdownBlockFields {

// "paragraph", "code", "table", "bulletList" or "numberedList".
QString kind(const MarkdownBlock &block);
// Paragraphs: rich text of the inline formatting. Code: the literal code. Others: empty.
QString text(const MarkdownBlock &block, bool isUser);
// Lists: rich text of each item.
QStringList items(const MarkdownBlock &block, bool isUser);
// Tables: the header cells and the rows of cells, as literal text.
QStringList headers(const MarkdownBlock &block);
QVariantList rows(const MarkdownBlock &block);
// Everything the block shows, its kind included, as one text: equal sources draw the same.
std::string source(const MarkdownBlock &block);

} // namespace MarkdownBlockFields
