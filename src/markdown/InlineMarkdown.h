#pragma once

#include "markdown/InlineRun.h"

#include <QString>
#include <string_view>
#include <vector>

// The inline step of message rendering: emphasis, strong emphasis, inline code and links inside
// one block's text. md4c does the parsing (InlineRunParser); every construct that would open a
// block in md4c is shown as the literal text, so the result is what an inline-only parser shows,
// white space included. InlineRichText draws the runs. Holds no state.
class InlineMarkdown
{
public:
    // The runs of a block text. Adjacent runs never share attributes. Links to anything but
    // http, https and mailto become plain text. If md4c fails, the text is one plain run.
    static std::vector<InlineRun> runs(std::string_view text);

    // Qt rich text for the runs, with every character of their texts and links escaped. Links on
    // a user's bubble are white and underlined; elsewhere they keep the default link style.
    static QString richText(const std::vector<InlineRun> &runs, bool isUser);

    // richText of runs of the text.
    static QString inlineText(std::string_view text, bool isUser);
};
