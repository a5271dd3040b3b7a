#include "markdown/SingleAsteriskRewrite.h"

#include "markdown/UnicodeText.h"

#include <algorithm>
#include <optional>

namespace {

bool isLoneAsterisk(std::string_view text, std::size_t at)
{
    return text[at] == '*' && (at == 0 || text[at - 1] != '*') &&
           (at + 1 == text.size() || text[at + 1] != '*');
}

// Neither white space nor punctuation: beside such a character an underscore cannot open or
// close emphasis, so rewriting there would show underscores instead of emphasis.
bool isWordCharacter(UnicodeText::CodePoint c)
{
    return c.length != 0 && !UnicodeText::isWhiteSpace(c.value) &&
           !UnicodeText::isPunctuation(c.value);
}

bool opensEmphasis(std::string_view text, std::size_t at)
{
    const UnicodeText::CodePoint next = UnicodeText::decode(text, at + 1);
    return isLoneAsterisk(text, at) && next.length != 0 && !UnicodeText::isWhiteSpace(next.value) &&
           !isWordCharacter(UnicodeText::decodeBefore(text, at));
}

bool closesEmphasis(std::string_view text, std::size_t at)
{
    const UnicodeText::CodePoint previous = UnicodeText::decodeBefore(text, at);
    return isLoneAsterisk(text, at) && previous.length != 0 &&
           !UnicodeText::isWhiteSpace(previous.value) &&
           !isWordCharacter(UnicodeText::decode(text, at + 1));
}

bool endsLinkDestination(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ')';
}

// The bytes inside link destinations ("](" up to white space or ")"). An asterisk there belongs
// to the address: md4c hands back an address with an entity as a copy that no longer maps onto
// the text, so a rewritten asterisk would stay an underscore in the link. Empty when the text has
// no link.
std::vector<bool> linkDestinations(std::string_view text)
{
    std::vector<bool> inside;
    std::size_t markedUpTo = 0;
    for (std::size_t at = text.find("]("); at != std::string_view::npos;
         at = text.find("](", at + 1)) {
        if (inside.empty())
            inside.resize(text.size(), false);
        // Each byte is looked at once, however many openings a destination holds.
        std::size_t i = std::max(at + 2, markedUpTo);
        for (; i < text.size() && !endsLinkDestination(text[i]); ++i)
            inside[i] = true;
        markedUpTo = i;
    }
    return inside;
}

} // namespace

std::vector<std::size_t> SingleAsteriskRewrite::positions(std::string_view text)
{
    const std::vector<bool> destinations = linkDestinations(text);
    const auto inDestination = [&destinations](std::size_t at) {
        return !destinations.empty() && destinations[at];
    };
    std::vector<std::size_t> positions;
    std::size_t at = 0;
    while (true) {
        const std::size_t open = text.find('*', at);
        if (open == std::string_view::npos)
            return positions;
        if (!opensEmphasis(text, open) || inDestination(open)) {
            at = open + 1;
            continue;
        }
        std::size_t scan = open + 1;
        std::optional<std::size_t> close;
        while (scan < text.size()) {
            const UnicodeText::CodePoint c = UnicodeText::decode(text, scan);
            if (UnicodeText::isLineTerminator(c.value))
                break;
            if (c.value == '*' && scan >= open + 2 && closesEmphasis(text, scan) &&
                !inDestination(scan)) {
                close = scan;
                break;
            }
            scan += c.length;
        }
        if (!close) {
            // No later opener before this point can find a closer either: closers do not
            // depend on their opener.
            at = scan;
            continue;
        }
        positions.push_back(open);
        positions.push_back(*close);
        at = *close + 1;
    }
}

std::string SingleAsteriskRewrite::rewritten(std::string_view text)
{
    std::string rewritten(text);
    for (const std::size_t at : positions(text))
        rewritten[at] = '_';
    return rewritten;
}
