#pragma once

#include "markdown/InlineRun.h"

#include <optional>
#include <string_view>
#include <vector>

// md4c's reading of one block text, as runs: the text goes to md4c with its block starts
// neutralised (Md4cInput), and md4c's callbacks are mapped back onto the text as written, with
// the white space md4c drops between lines put back. Holds no state.
class InlineRunParser
{
public:
    // The runs of the text; adjacent runs never share attributes, and links to anything but
    // http, https and mailto are plain text. None when md4c fails or cannot take a text so long.
    static std::optional<std::vector<InlineRun>> runs(std::string_view text);
};
