#pragma once

#include "markdown/InlineRun.h"

#include <QString>
#include <vector>

// Qt rich text of inline runs, with every character of their texts and links escaped. Holds no
// state.
class InlineRichText
{
public:
    // Links on a user's bubble are white and underlined; elsewhere they keep the default link
    // style. Inline code is monospace on a translucent tint.
    static QString of(const std::vector<InlineRun> &runs, bool isUser);
};
