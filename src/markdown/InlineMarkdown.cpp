#include "markdown/InlineMarkdown.h"

#include "markdown/UnicodeText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <functional>
#include <limits>
#include <md4c.h>
#include <optional>
#include <utility>

namespace {

// A byte handed to md4c that is not the text as written, so what md4c shows can be mapped back.
enum class Origin : unsigned char
{
    // Added only to keep md4c from opening a block; never shown.
    Inserted,
    // An underscore standing in for a rewritten asterisk; shown as the asterisk when md4c keeps
    // it as text, so no underscore appears that the text never had.
    RewrittenAsterisk,
};

// Stands before a line's first character so that md4c reads the line as paragraph text. A
// letter touches nothing else: backtick runs ignore their neighbours, and lines whose marker is
// an emphasis character are escaped instead.
constexpr char blockBreaker = 'x';

constexpr unsigned md4cFlags = MD_FLAG_NOHTML | MD_FLAG_NOINDENTEDCODEBLOCKS;

constexpr char32_t replacementCharacter = 0xFFFD;

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

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Characters md4c drops at line edges and between paragraphs.
bool isLayoutSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n';
}

bool isLineBreak(char c)
{
    return c == '\r' || c == '\n';
}

void appendUtf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0U | (c >> 6U));
        out += static_cast<char>(0x80U | (c & 0x3FU));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0U | (c >> 12U));
        out += static_cast<char>(0x80U | ((c >> 6U) & 0x3FU));
        out += static_cast<char>(0x80U | (c & 0x3FU));
    } else {
        out += static_cast<char>(0xF0U | (c >> 18U));
        out += static_cast<char>(0x80U | ((c >> 12U) & 0x3FU));
        out += static_cast<char>(0x80U | ((c >> 6U) & 0x3FU));
        out += static_cast<char>(0x80U | (c & 0x3FU));
    }
}

// --- Single-asterisk rewrite ---------------------------------------------------------------

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

// Byte positions of the asterisks to rewrite, in pairs.
std::vector<std::size_t> rewrittenAsterisks(std::string_view text)
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

// --- Block neutralisation ---------------------------------------------------------------------

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

struct Prepared
{
    struct Mark
    {
        std::size_t offset;
        Origin origin;
    };

    // What md4c parses; std::string keeps it NUL-terminated, which md4c relies on.
    std::string text;
    // The bytes of `text` that are not the text as written, in ascending order.
    std::vector<Mark> marks;

    void mark(char c, Origin origin)
    {
        marks.push_back({text.size(), origin});
        text += c;
    }
};

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

Prepared prepare(std::string_view source)
{
    const std::vector<std::size_t> rewrites = rewrittenAsterisks(source);
    std::string rewritten;
    std::string_view text = source;
    if (!rewrites.empty()) {
        rewritten = source;
        for (const std::size_t at : rewrites)
            rewritten[at] = '_';
        text = rewritten;
    }

    Prepared prepared;
    prepared.text.reserve(source.size() + 16);
    auto rewrite = rewrites.begin();
    // Copies [from, to) of the text; copies only ever move forward.
    const auto copy = [&](std::size_t from, std::size_t to) {
        while (rewrite != rewrites.end() && *rewrite < to) {
            prepared.text.append(text.substr(from, *rewrite - from));
            prepared.mark('_', Origin::RewrittenAsterisk);
            from = *rewrite + 1;
            ++rewrite;
        }
        prepared.text.append(text.substr(from, to - from));
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
            prepared.mark(blockBreaker, Origin::Inserted);
            break;
        case Neutralisation::EscapeFirst:
            prepared.mark('\\', Origin::Inserted);
            break;
        case Neutralisation::EscapeMarkers:
            for (std::size_t i = content; i < lineEnd; ++i) {
                if (text[i] == line[0])
                    prepared.mark('\\', Origin::Inserted);
                copy(i, i + 1);
            }
            content = lineEnd;
            break;
        }
        copy(content, copyEnd);
        lineStart = next;
        firstLine = false;
    }
    return prepared;
}

// --- Rendering md4c's callbacks into runs ---------------------------------------------------

std::optional<char32_t> numericEntity(std::string_view entity)
{
    // "&#123;" or "&#x1F;", as md4c recognised it.
    const bool hex = entity.size() > 3 && (entity[2] == 'x' || entity[2] == 'X');
    const std::string_view digits = entity.substr(hex ? 3 : 2, entity.size() - (hex ? 4 : 3));
    unsigned long value = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, hex ? 16 : 10);
    if (error != std::errc() || end != digits.data() + digits.size())
        return replacementCharacter;
    if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return replacementCharacter;
    return static_cast<char32_t>(value);
}

std::optional<char32_t> namedEntity(std::string_view entity)
{
    static constexpr std::array<std::pair<std::string_view, char32_t>, 30> names{{
        {"&amp;", U'&'},     {"&lt;", U'<'},       {"&gt;", U'>'},      {"&quot;", U'"'},
        {"&apos;", U'\''},   {"&nbsp;", 0xA0},     {"&copy;", 0xA9},    {"&reg;", 0xAE},
        {"&trade;", 0x2122}, {"&hellip;", 0x2026}, {"&mdash;", 0x2014}, {"&ndash;", 0x2013},
        {"&lsquo;", 0x2018}, {"&rsquo;", 0x2019},  {"&ldquo;", 0x201C}, {"&rdquo;", 0x201D},
        {"&laquo;", 0xAB},   {"&raquo;", 0xBB},    {"&middot;", 0xB7},  {"&bull;", 0x2022},
        {"&times;", 0xD7},   {"&divide;", 0xF7},   {"&deg;", 0xB0},     {"&plusmn;", 0xB1},
        {"&euro;", 0x20AC},  {"&pound;", 0xA3},    {"&sect;", 0xA7},    {"&larr;", 0x2190},
        {"&rarr;", 0x2192},  {"&check;", 0x2713},
    }};
    for (const auto &[name, value] : names) {
        if (name == entity)
            return value;
    }
    return std::nullopt;
}

// The character of an entity; none for a name this renderer does not know, which then shows as
// written.
std::optional<char32_t> entityCharacter(std::string_view entity)
{
    if (entity.size() >= 4 && entity[1] == '#')
        return numericEntity(entity);
    return namedEntity(entity);
}

bool isOpenableLink(std::string_view url)
{
    const std::size_t colon = url.find(':');
    if (colon == std::string_view::npos)
        return false;
    std::string scheme(url.substr(0, colon));
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return scheme == "http" || scheme == "https" || scheme == "mailto";
}

class RunBuilder
{
public:
    explicit RunBuilder(const Prepared &prepared)
        : prepared_(prepared)
    {}

    bool failed = false;

    std::vector<InlineRun> finish()
    {
        fillGap(prepared_.text.size(), true);
        return std::move(runs_);
    }

    void enterSpan(MD_SPANTYPE type, const void *detail)
    {
        switch (type) {
        case MD_SPAN_EM:
            ++emphasis_;
            break;
        case MD_SPAN_STRONG:
            ++strong_;
            break;
        case MD_SPAN_CODE:
            ++code_;
            break;
        case MD_SPAN_A:
            links_.push_back(linkTarget(static_cast<const MD_SPAN_A_DETAIL *>(detail)->href));
            break;
        default:
            break;
        }
    }

    void leaveSpan(MD_SPANTYPE type)
    {
        switch (type) {
        case MD_SPAN_EM:
            --emphasis_;
            break;
        case MD_SPAN_STRONG:
            --strong_;
            break;
        case MD_SPAN_CODE:
            --code_;
            break;
        case MD_SPAN_A:
            if (!links_.empty())
                links_.pop_back();
            break;
        default:
            break;
        }
    }

    void leaveBlock()
    {
        // Paragraphs are separated by blank lines, which md4c drops.
        if (pendingBreak_ == Break::None) {
            pendingBreak_ = Break::Paragraph;
            breakAttributes_ = InlineRun{};
        }
    }

    void text(MD_TEXTTYPE type, const char *data, std::size_t size)
    {
        const std::optional<std::size_t> offset = offsetOf(data, size);
        switch (type) {
        case MD_TEXT_BR:
        case MD_TEXT_SOFTBR:
            markBreak();
            return;
        case MD_TEXT_NULLCHAR:
            appendCharacter(replacementCharacter);
            return;
        case MD_TEXT_ENTITY:
            if (offset) {
                fillGap(*offset, false);
                const std::string_view entity(data, size);
                if (const std::optional<char32_t> c = entityCharacter(entity))
                    appendCharacter(*c);
                else
                    appendShown(*offset, *offset + size);
                cursor_ = std::max(cursor_, *offset + size);
            }
            return;
        default:
            break;
        }
        if (!offset) {
            // md4c hands a line break inside a code span over as a lone space of its own.
            if (type == MD_TEXT_CODE && size == 1 && data[0] == ' ')
                markBreak();
            else
                append(std::string_view(data, size), attributes());
            return;
        }
        if (*offset >= cursor_)
            fillGap(*offset, false);
        appendShown(*offset, *offset + size);
        cursor_ = std::max(cursor_, *offset + size);
    }

private:
    std::optional<std::size_t> offsetOf(const char *data, std::size_t size) const
    {
        const char *begin = prepared_.text.data();
        const char *end = begin + prepared_.text.size();
        if (std::less<>()(data, begin) || std::less<>()(end, data) ||
            size > static_cast<std::size_t>(end - data))
            return std::nullopt;
        return static_cast<std::size_t>(data - begin);
    }

    // The attributes of the text at the current point; refers to the open link, so it is used
    // before the next callback.
    struct Style
    {
        bool emphasis = false;
        bool strong = false;
        bool code = false;
        const std::optional<std::string> *link = nullptr;

        explicit Style(const InlineRun &run)
            : emphasis(run.emphasis)
            , strong(run.strong)
            , code(run.code)
            , link(&run.link)
        {}

        Style(bool isEmphasis, bool isStrong, bool isCode, const std::optional<std::string> *url)
            : emphasis(isEmphasis)
            , strong(isStrong)
            , code(isCode)
            , link(url)
        {}

        bool matches(const InlineRun &run) const
        {
            return emphasis == run.emphasis && strong == run.strong && code == run.code &&
                   (link ? *link == run.link : !run.link);
        }
    };

    Style attributes() const
    {
        return {emphasis_ > 0, strong_ > 0, code_ > 0, links_.empty() ? nullptr : &links_.back()};
    }

    static Style plainStyle() { return {false, false, false, nullptr}; }

    void markBreak()
    {
        const Style style = attributes();
        pendingBreak_ = Break::Line;
        breakAttributes_ = InlineRun{};
        breakAttributes_.emphasis = style.emphasis;
        breakAttributes_.strong = style.strong;
        breakAttributes_.code = style.code;
        if (style.link)
            breakAttributes_.link = *style.link;
    }

    void append(std::string_view text, const Style &style)
    {
        if (text.empty())
            return;
        if (!runs_.empty() && style.matches(runs_.back())) {
            runs_.back().text += text;
            return;
        }
        InlineRun run;
        run.text = text;
        run.emphasis = style.emphasis;
        run.strong = style.strong;
        run.code = style.code;
        if (style.link)
            run.link = *style.link;
        runs_.push_back(std::move(run));
    }

    void appendCharacter(char32_t c)
    {
        std::string encoded;
        appendUtf8(encoded, c);
        append(encoded, attributes());
    }

    // Hands `out` the text of [from, to) as the user wrote it, in pieces: without inserted
    // bytes, with rewritten asterisks back.
    template<typename Out> void shownText(std::size_t from, std::size_t to, Out out) const
    {
        const std::vector<Prepared::Mark> &marks = prepared_.marks;
        auto mark = std::lower_bound(
            marks.begin(), marks.end(), from,
            [](const Prepared::Mark &m, std::size_t offset) { return m.offset < offset; });
        const std::string_view text = prepared_.text;
        while (from < to) {
            const std::size_t stop = mark != marks.end() && mark->offset < to ? mark->offset : to;
            out(text.substr(from, stop - from));
            if (stop == to)
                return;
            if (mark->origin == Origin::RewrittenAsterisk)
                out(std::string_view("*"));
            from = stop + 1;
            ++mark;
        }
    }

    void appendShown(std::size_t from, std::size_t to, const Style &style)
    {
        shownText(from, to, [&](std::string_view piece) { append(piece, style); });
    }

    void appendShown(std::size_t from, std::size_t to) { appendShown(from, to, attributes()); }

    // Puts back the white space md4c dropped between the last text it showed and `to`: leading
    // white space of the text, the line breaks with the blanks around them, and trailing white
    // space. Everything else in the gap is markup md4c consumed.
    void fillGap(std::size_t to, bool atEnd)
    {
        const std::string &text = prepared_.text;
        std::size_t from = cursor_;
        if (!leadingDone_) {
            std::size_t leadingEnd = from;
            while (leadingEnd < to && isLayoutSpace(text[leadingEnd]))
                ++leadingEnd;
            appendShown(from, leadingEnd, plainStyle());
            from = leadingEnd;
            leadingDone_ = true;
        }
        std::size_t end = to;
        if (atEnd) {
            // A paragraph break at the very end is the trailing white space itself.
            while (end > from && isLayoutSpace(text[end - 1]))
                --end;
            if (pendingBreak_ == Break::Paragraph)
                pendingBreak_ = Break::None;
        }
        if (pendingBreak_ != Break::None)
            appendLastLineBreak(from, end);
        appendShown(end, to, plainStyle());
        pendingBreak_ = Break::None;
        cursor_ = std::max(cursor_, to);
    }

    // The last line break in [from, to) with the white space around it.
    void appendLastLineBreak(std::size_t from, std::size_t to)
    {
        const std::string &text = prepared_.text;
        std::size_t lineBreak = to;
        while (lineBreak > from && !isLineBreak(text[lineBreak - 1]))
            --lineBreak;
        if (lineBreak <= from)
            return;
        std::size_t start = lineBreak - 1;
        while (start > from && isLayoutSpace(text[start - 1]))
            --start;
        std::size_t end = lineBreak;
        while (end < to && isLayoutSpace(text[end]))
            ++end;
        appendShown(start, end, Style(breakAttributes_));
    }

    std::optional<std::string> linkTarget(const MD_ATTRIBUTE &href) const
    {
        std::string url;
        for (std::size_t i = 0; href.substr_offsets[i] < href.size; ++i) {
            const MD_OFFSET begin = href.substr_offsets[i];
            const MD_OFFSET end = href.substr_offsets[i + 1];
            const std::string_view piece(href.text + begin, end - begin);
            switch (href.substr_types[i]) {
            case MD_TEXT_ENTITY:
                if (const std::optional<char32_t> c = entityCharacter(piece))
                    appendUtf8(url, *c);
                else
                    url += piece;
                break;
            case MD_TEXT_NULLCHAR:
                appendUtf8(url, replacementCharacter);
                break;
            default:
                if (const std::optional<std::size_t> offset = offsetOf(piece.data(), piece.size()))
                    shownText(*offset, *offset + piece.size(),
                              [&url](std::string_view shown) { url += shown; });
                else
                    url += piece;
                break;
            }
        }
        if (!isOpenableLink(url))
            return std::nullopt;
        return url;
    }

    const Prepared &prepared_;
    std::vector<InlineRun> runs_;
    int emphasis_ = 0;
    int strong_ = 0;
    int code_ = 0;
    std::vector<std::optional<std::string>> links_;
    std::size_t cursor_ = 0;
    bool leadingDone_ = false;
    // A break md4c signalled (or a paragraph it closed) whose white space is still to be shown.
    enum class Break
    {
        None,
        Line,
        Paragraph,
    };
    Break pendingBreak_ = Break::None;
    InlineRun breakAttributes_;
};

// md4c is C: no exception may cross it. A failure ends the parse, and the caller falls back.
template<typename Step> int guarded(void *userdata, Step step)
{
    auto *builder = static_cast<RunBuilder *>(userdata);
    try {
        step(*builder);
        return 0;
    } catch (...) {
        builder->failed = true;
        return -1;
    }
}

int onEnterBlock(MD_BLOCKTYPE, void *, void *)
{
    return 0;
}

int onLeaveBlock(MD_BLOCKTYPE, void *, void *userdata)
{
    return guarded(userdata, [](RunBuilder &builder) { builder.leaveBlock(); });
}

int onEnterSpan(MD_SPANTYPE type, void *detail, void *userdata)
{
    return guarded(userdata, [&](RunBuilder &builder) { builder.enterSpan(type, detail); });
}

int onLeaveSpan(MD_SPANTYPE type, void *, void *userdata)
{
    return guarded(userdata, [&](RunBuilder &builder) { builder.leaveSpan(type); });
}

int onText(MD_TEXTTYPE type, const MD_CHAR *data, MD_SIZE size, void *userdata)
{
    return guarded(userdata, [&](RunBuilder &builder) { builder.text(type, data, size); });
}

// --- Rich text ------------------------------------------------------------------------------

void appendEscaped(std::string &out, std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        case '\r':
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            out += "<br/>";
            break;
        case '\n':
            out += "<br/>";
            break;
        default:
            out += c;
            break;
        }
    }
}

} // namespace

std::string InlineMarkdown::rewriteSingleAsterisks(std::string_view text)
{
    std::string rewritten(text);
    for (const std::size_t at : rewrittenAsterisks(text))
        rewritten[at] = '_';
    return rewritten;
}

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
    if (!hasInlineSyntax(text) || text.size() > std::numeric_limits<MD_SIZE>::max() / 2)
        return plain();

    const Prepared prepared = prepare(text);
    RunBuilder builder(prepared);
    const MD_PARSER parser{0,           md4cFlags, onEnterBlock, onLeaveBlock, onEnterSpan,
                           onLeaveSpan, onText,    nullptr,      nullptr};
    const int result = md_parse(prepared.text.c_str(), static_cast<MD_SIZE>(prepared.text.size()),
                                &parser, &builder);
    if (result != 0 || builder.failed)
        return plain();
    return builder.finish();
}

QString InlineMarkdown::richText(const std::vector<InlineRun> &runs, bool isUser)
{
    std::string html = "<span style=\"white-space:pre-wrap\">";
    for (const InlineRun &run : runs) {
        if (run.link) {
            html += "<a href=\"";
            appendEscaped(html, *run.link);
            html += "\">";
            if (isUser)
                html += "<span style=\"color:#ffffff;text-decoration:underline\">";
        }
        if (run.strong)
            html += "<b>";
        if (run.emphasis)
            html += "<i>";
        if (run.code)
            html += "<code>";
        appendEscaped(html, run.text);
        if (run.code)
            html += "</code>";
        if (run.emphasis)
            html += "</i>";
        if (run.strong)
            html += "</b>";
        if (run.link) {
            if (isUser)
                html += "</span>";
            html += "</a>";
        }
    }
    html += "</span>";
    return QString::fromUtf8(html.data(), static_cast<qsizetype>(html.size()));
}

QString InlineMarkdown::inlineText(std::string_view text, bool isUser)
{
    return richText(runs(text), isUser);
}
