#include "markdown/InlineRunParser.h"

#include "markdown/HtmlEntity.h"
#include "markdown/Md4cInput.h"
#include "markdown/UnicodeText.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <limits>
#include <md4c.h>
#include <string>
#include <utility>

namespace {

constexpr unsigned md4cFlags = MD_FLAG_NOHTML | MD_FLAG_NOINDENTEDCODEBLOCKS;

// Characters md4c drops at line edges and between paragraphs.
bool isLayoutSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n';
}

bool isLineBreak(char c)
{
    return c == '\r' || c == '\n';
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
    explicit RunBuilder(const Md4cInput &input)
        : input_(input)
    {}

    bool failed = false;

    std::vector<InlineRun> finish()
    {
        fillGap(input_.text.size(), true);
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
            appendCharacter(UnicodeText::replacementCharacter);
            return;
        case MD_TEXT_ENTITY:
            if (offset) {
                fillGap(*offset, false);
                const std::string_view entity(data, size);
                if (const std::optional<char32_t> c = HtmlEntity::character(entity))
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
        const char *begin = input_.text.data();
        const char *end = begin + input_.text.size();
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
        UnicodeText::appendUtf8(encoded, c);
        append(encoded, attributes());
    }

    void appendShown(std::size_t from, std::size_t to, const Style &style)
    {
        input_.shownText(from, to, [&](std::string_view piece) { append(piece, style); });
    }

    void appendShown(std::size_t from, std::size_t to) { appendShown(from, to, attributes()); }

    // Puts back the white space md4c dropped between the last text it showed and `to`: leading
    // white space of the text, the line breaks with the blanks around them, and trailing white
    // space. Everything else in the gap is markup md4c consumed.
    void fillGap(std::size_t to, bool atEnd)
    {
        const std::string &text = input_.text;
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
        const std::string &text = input_.text;
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
                if (const std::optional<char32_t> c = HtmlEntity::character(piece))
                    UnicodeText::appendUtf8(url, *c);
                else
                    url += piece;
                break;
            case MD_TEXT_NULLCHAR:
                UnicodeText::appendUtf8(url, UnicodeText::replacementCharacter);
                break;
            default:
                if (const std::optional<std::size_t> offset = offsetOf(piece.data(), piece.size()))
                    input_.shownText(*offset, *offset + piece.size(),
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

    const Md4cInput &input_;
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

} // namespace

std::optional<std::vector<InlineRun>> InlineRunParser::runs(std::string_view text)
{
    if (text.size() > std::numeric_limits<MD_SIZE>::max() / 2)
        return std::nullopt;
    const Md4cInput input = Md4cInput::of(text);
    RunBuilder builder(input);
    const MD_PARSER parser{0,           md4cFlags, onEnterBlock, onLeaveBlock, onEnterSpan,
                           onLeaveSpan, onText,    nullptr,      nullptr};
    const int result =
        md_parse(input.text.c_str(), static_cast<MD_SIZE>(input.text.size()), &parser, &builder);
    if (result != 0 || builder.failed)
        return std::nullopt;
    return builder.finish();
}
