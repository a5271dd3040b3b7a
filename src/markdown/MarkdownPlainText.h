#pragma once

#include <QString>

// What a screen reader reads of a message text: its words without Markdown syntax. Blocks are
// parted by a blank line, list items and table rows by a line break, table cells by ", ";
// numbered items keep the numbers the screen shows. Holds no state.
class MarkdownPlainText
{
public:
    static QString of(const QString &markdown);
};
