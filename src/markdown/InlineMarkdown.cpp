#include "markdown/InlineMarkdown.h"

#include "markdown/InlineRichText.h"
#include "markdown/InlineRunParser.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

namespace {

// Emphasis, code, links and images, autolinks, entities, escapes, and NUL (shown as U+FFFD).
constexpr std::string_view inlineSyntax("*_`[<&\\\0", 8);

constexpr std::array<bool, 256> inlineSyntaxTable = [] {
    std::array<bool, 256> table{};
    for (const char c : inlineSyntax)
        table[static_cast<unsigned char>(c)] = true;
    return table;
}();

bool hasInlineSyntax(std::string_view text)
{
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return inlineSyntaxTable[static_cast<unsigned char>(c)]; });
}

} // namespace

std::vector<InlineRun> InlineMarkdown::runs(std::string_view text)
{
    const auto plain = [&] {
        std::vector<InlineRun> whole;
        if (!text.empty()) {
            InlineRun run;
            run.text = text;
            whole.push_back(std::move(run));
        }
        return whole;
    };
    // Every inline construct needs one of these characters; md4c would show any other text
    // unchanged, block syntax included, once block starts are neutralised.
    if (!hasInlineSyntax(text))
        return plain();
    std::optional<std::vector<InlineRun>> parsed = InlineRunParser::runs(text);
    return parsed ? std::move(*parsed) : plain();
}

QString InlineMarkdown::richText(const std::vector<InlineRun> &runs, bool isUser)
{
    return InlineRichText::of(runs, isUser);
}

QString InlineMarkdown::inlineText(std::string_view text, bool isUser)
{
    return richText(runs(text), isUser);
}
