#include "markdown/Md4cInput.h"

#include "markdown/SingleAsteriskRewrite.h"

namespace {

// Stands before a line's first character so that md4c reads the line as paragraph text. A
// letter touches nothing else: backtick runs ignore their neighbours, and lines whose marker is
// an emphasis character are escaped instead.
constexpr char blockBreaker = 'x';

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

enum class Neutralisation
{
    None,
    InsertBreaker,
    // Escapes the line's first character.
    EscapeFirst,
    // Escapes every marker character of a rule line.
    EscapeMarkers,
};

bool onlyBlanksFrom(std::string_view line, std::size_t at)
{
    return std::all_of(line.begin() + static_cast<std::ptrdiff_t>(at), line.end(), isBlank);
}

std::size_t runLength(std::string_view line, char c)
{
    const std::size_t end = line.find_first_not_of(c);
    return end == std::string_view::npos ? line.size() : end;
}

bool isThematicBreak(std::string_view line)
{
    const char marker = line[0];
    if (marker != '-' && marker != '*' && marker != '_')
        return false;
    std::size_t count = 0;
    for (const char c : line) {
        if (c == marker)
            ++count;
        else if (!isBlank(c))
            return false;
    }
    return count >= 3;
}

bool isSetextUnderline(std::string_view line)
{
    const char marker = line[0];
    return (marker == '=' || marker == '-') && onlyBlanksFrom(line, runLength(line, marker));
}

bool endsMarker(std::string_view line, std::size_t at)
{
    return at == line.size() || isBlank(line[at]);
}

bool isListItem(std::string_view line)
{
    if (line[0] == '-' || line[0] == '+' || line[0] == '*')
        return endsMarker(line, 1);
    const std::size_t digits = line.find_first_not_of("0123456789");
    return digits != 0 && digits != std::string_view::npos &&
           (line[digits] == '.' || line[digits] == ')') && endsMarker(line, digits + 1);
}

bool isHeading(std::string_view line)
{
    const std::size_t hashes = runLength(line, '#');
    return hashes >= 1 && hashes <= 6 && endsMarker(line, hashes);
}

bool isCodeFence(std::string_view line)
{
    if (line[0] == '~')
        return runLength(line, '~') >= 3;
    if (line[0] != '`')
        return false;
    const std::size_t ticks = runLength(line, '`');
    return ticks >= 3 && line.find('`', ticks) == std::string_view::npos;
}

// "[label]:" may start a link reference definition, whose label can run over several lines.
bool isReferenceDefinition(std::string_view text, std::size_t at)
{
    constexpr std::size_t longestLabel = 999;
    const std::size_t end = std::min(text.size(), at + longestLabel + 2);
    for (std::size_t i = at + 1; i < end; ++i) {
        const char c = text[i];
        if (c == '\\')
            ++i;
        else if (c == '[')
            return false;
        else if (c == ']')
            return i + 1 < text.size() && text[i + 1] == ':';
    }
    return false;
}

// What a line needs so that md4c does not open a block on it. `text` is the whole text, `line`
// the line from its first non-blank character on.
Neutralisation neutralisationFor(std::string_view text, std::size_t lineStart,
                                 std::string_view line, bool firstLine)
{
    if (line.empty())
        return Neutralisation::None;
    if (isThematicBreak(line))
        return line[0] == '-' ? Neutralisation::InsertBreaker : Neutralisation::EscapeMarkers;
    if (isListItem(line))
        return line[0] == '*' ? Neutralisation::EscapeFirst : Neutralisation::InsertBreaker;
    if ((!firstLine && isSetextUnderline(line)) || isHeading(line) || line[0] == '>' ||
        isCodeFence(line) || (line[0] == '[' && isReferenceDefinition(text, lineStart)))
        return Neutralisation::InsertBreaker;
    return Neutralisation::None;
}

// The position of the next `c` at or after `from`, remembered across calls that move forward, so
// that finding every line end stays linear.
class NextByte
{
public:
    NextByte(std::string_view text, char c)
        : text_(text)
        , c_(c)
    {}

    std::size_t from(std::size_t at)
    {
        if (!searched_ || found_ < at) {
            searched_ = true;
            found_ = text_.find(c_, at);
            if (found_ == std::string_view::npos)
                found_ = text_.size();
        }
        return found_;
    }

private:
    std::string_view text_;
    char c_;
    std::size_t found_ = 0;
    bool searched_ = false;
};

} // namespace

void Md4cInput::mark(char c, Origin origin)
{
    marks.push_back({text.size(), origin});
    text += c;
}

Md4cInput Md4cInput::of(std::string_view source)
{
    const std::vector<std::size_t> rewrites = SingleAsteriskRewrite::positions(source);
    std::string rewritten;
    std::string_view text = source;
    if (!rewrites.empty()) {
        rewritten = source;
        for (const std::size_t at : rewrites)
            rewritten[at] = '_';
        text = rewritten;
    }

    Md4cInput input;
    input.text.reserve(source.size() + 16);
    auto rewrite = rewrites.begin();
    // Copies [from, to) of the text; copies only ever move forward.
    const auto copy = [&](std::size_t from, std::size_t to) {
        while (rewrite != rewrites.end() && *rewrite < to) {
            input.text.append(text.substr(from, *rewrite - from));
            input.mark('_', Origin::RewrittenAsterisk);
            from = *rewrite + 1;
            ++rewrite;
        }
        input.text.append(text.substr(from, to - from));
    };

    NextByte nextReturn(text, '\r');
    NextByte nextNewline(text, '\n');
    std::size_t lineStart = 0;
    bool firstLine = true;
    while (lineStart <= text.size()) {
        const std::size_t lineEnd =
            std::min(nextReturn.from(lineStart), nextNewline.from(lineStart));
        std::size_t next = lineEnd + 1;
        if (lineEnd + 1 < text.size() && text[lineEnd] == '\r' && text[lineEnd + 1] == '\n')
            ++next;
        const std::size_t copyEnd = std::min(next, text.size());

        std::size_t content = lineStart;
        while (content < lineEnd && isBlank(text[content]))
            ++content;
        const std::string_view line = text.substr(content, lineEnd - content);

        copy(lineStart, content);
        switch (neutralisationFor(text, content, line, firstLine)) {
        case Neutralisation::None:
            break;
        case Neutralisation::InsertBreaker:
            input.mark(blockBreaker, Origin::Inserted);
            break;
        case Neutralisation::EscapeFirst:
            input.mark('\\', Origin::Inserted);
            break;
        case Neutralisation::EscapeMarkers:
            for (std::size_t i = content; i < lineEnd; ++i) {
                if (text[i] == line[0])
                    input.mark('\\', Origin::Inserted);
                copy(i, i + 1);
            }
            content = lineEnd;
            break;
        }
        copy(content, copyEnd);
        lineStart = next;
        firstLine = false;
    }
    return input;
}
