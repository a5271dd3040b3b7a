#include "ui/ParagraphParts.h"

#include "markdown/InlineMarkdown.h"
#include "ui/ThemeTypography.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

namespace {

std::string plainText(const std::vector<InlineRun> &runs)
{
    std::string text;
    for (const InlineRun &run : runs)
        text += run.text;
    return text;
}

// The runs of the bytes [begin, end) of their text, runs cut at the ends keeping their attributes.
std::vector<InlineRun> slice(const std::vector<InlineRun> &runs, std::size_t begin, std::size_t end)
{
    std::vector<InlineRun> part;
    std::size_t runStart = 0;
    for (const InlineRun &run : runs) {
        const std::size_t runEnd = runStart + run.text.size();
        const std::size_t from = std::max(begin, runStart);
        const std::size_t to = std::min(end, runEnd);
        if (from < to) {
            InlineRun piece = run;
            piece.text = run.text.substr(from - runStart, to - from);
            part.push_back(std::move(piece));
        }
        runStart = runEnd;
    }
    return part;
}

// Whether `after` is `before` with text added at its end, every character before it drawn as it
// was: then no line but the last can break differently.
bool onlyAppended(const std::vector<InlineRun> &before, const std::vector<InlineRun> &after)
{
    if (before.size() > after.size())
        return false;
    for (std::size_t at = 0; at < before.size(); ++at) {
        const bool isLast = at + 1 == before.size();
        if (!before[at].sameAttributes(after[at]))
            return false;
        if (isLast ? !after[at].text.starts_with(before[at].text) : before[at] != after[at])
            return false;
    }
    return true;
}

// Whether the text holds anything the bidirectional algorithm reorders: right-to-left letters,
// Arabic digits, embeddings and isolates. Their order on a line depends on the lines around it, so
// a part that starts a new layout could draw them elsewhere; such a paragraph is not cut.
bool isBidirectional(const std::string &text)
{
    const QString characters = QString::fromStdString(text);
    for (const QChar character : characters) {
        switch (character.direction()) {
        case QChar::DirR:
        case QChar::DirAL:
        case QChar::DirAN:
        case QChar::DirRLE:
        case QChar::DirRLO:
        case QChar::DirLRE:
        case QChar::DirLRO:
        case QChar::DirPDF:
        case QChar::DirRLI:
        case QChar::DirLRI:
        case QChar::DirFSI:
        case QChar::DirPDI:
            return true;
        default:
            break;
        }
    }
    return false;
}

Qt::LayoutDirection directionOf(const std::vector<InlineRun> &runs)
{
    return QString::fromStdString(plainText(runs)).isRightToLeft() ? Qt::RightToLeft
                                                                   : Qt::LeftToRight;
}

// The UTF-16 units the document holds for the UTF-8 sequence starting with this byte, and the
// sequence's length. A line break ("\r\n", "\r" or "\n") is one unit, a line separator.
std::pair<int, std::size_t> units(const std::string &text, std::size_t at)
{
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte == '\r' && at + 1 < text.size() && text[at + 1] == '\n')
        return {1, 2};
    if (byte < 0x80)
        return {1, 1};
    if (byte >= 0xF0)
        return {2, 4};
    return {1, byte >= 0xE0 ? 3 : 2};
}

} // namespace

std::vector<std::size_t> ParagraphParts::lineStarts(const std::vector<InlineRun> &runs, qreal width,
                                                    Qt::LayoutDirection direction)
{
    // As the list's text views set up theirs: no margin, the body font, words wrapped and, where
    // a word is wider than the line, anywhere, with the font's design metrics.
    QTextDocument document;
    document.setDocumentMargin(0);
    document.setDefaultFont(ThemeTypography::bodyFont());
    QTextOption option = document.defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setUseDesignMetrics(true);
    document.setDefaultTextOption(option);
    document.setHtml(InlineMarkdown::richText(runs, false));
    QTextCursor all(&document);
    all.select(QTextCursor::Document);
    QTextBlockFormat format;
    format.setLayoutDirection(direction);
    all.mergeBlockFormat(format);
    document.setTextWidth(width);

    const std::string text = plainText(runs);
    if (isBidirectional(text))
        return {0};
    const QTextBlock block = document.firstBlock();
    int expected = 0;
    for (std::size_t at = 0; at < text.size(); at += units(text, at).second)
        expected += units(text, at).first;
    // Text the document holds otherwise than the runs do is not cut.
    if (document.blockCount() != 1 || block.length() - 1 != expected)
        return {0};

    document.size();
    const QTextLayout &layout = *block.layout();
    std::vector<std::size_t> starts;
    std::size_t byte = 0;
    int position = 0;
    for (int line = 0; line < layout.lineCount(); ++line) {
        const int start = layout.lineAt(line).textStart();
        while (position < start && byte < text.size()) {
            const auto [count, length] = units(text, byte);
            position += count;
            byte += length;
        }
        starts.push_back(byte);
    }
    if (starts.empty())
        starts.push_back(0);
    return starts;
}

std::size_t ParagraphParts::update(std::vector<InlineRun> newRuns, qreal newWidth)
{
    // A paragraph separator would end the paragraph in rich text, where the paragraph's lines
    // go on: it breaks its line as a line separator does, which is as long in UTF-8.
    static constexpr std::string_view paragraphSeparator = "\xe2\x80\xa9";
    static constexpr std::string_view lineSeparator = "\xe2\x80\xa8";
    for (InlineRun &run : newRuns) {
        for (std::size_t at = run.text.find(paragraphSeparator); at != std::string::npos;
             at = run.text.find(paragraphSeparator, at))
            run.text.replace(at, paragraphSeparator.size(), lineSeparator);
    }
    const Qt::LayoutDirection newDirection = directionOf(newRuns);
    const bool keepsCuts = newWidth == width && newDirection == direction && !starts.empty() &&
                           onlyAppended(runs, newRuns) && !isBidirectional(plainText(newRuns));
    runs = std::move(newRuns);
    width = newWidth;
    direction = newDirection;
    const std::vector<QString> before = texts;
    cutFrom(keepsCuts ? starts.size() - 1 : 0);

    std::size_t first = 0;
    while (first < texts.size() && first < before.size() && texts[first] == before[first])
        ++first;
    return first;
}

void ParagraphParts::cutFrom(std::size_t part)
{
    const std::size_t begin = part == 0 ? 0 : starts[part];
    const std::size_t end = plainText(runs).size();
    const std::vector<std::size_t> lines = lineStarts(slice(runs, begin, end), width, direction);
    starts.resize(part);
    for (std::size_t line = 0; line < lines.size(); line += linesPerPart)
        starts.push_back(begin + lines[line]);
    texts.resize(part);
    for (std::size_t at = part; at < starts.size(); ++at)
        texts.push_back(partText(starts[at], at + 1 < starts.size() ? starts[at + 1] : end));
}

QString ParagraphParts::partText(std::size_t begin, std::size_t end) const
{
    const std::vector<InlineRun> part = slice(runs, begin, end);
    const QString text = InlineMarkdown::richText(part, false);
    if (directionOf(part) == direction)
        return text;
    // A part that would read the other way round from its first words keeps the paragraph's.
    return QStringLiteral("<div dir=\"%1\">%2</div>")
        .arg(direction == Qt::RightToLeft ? QStringLiteral("rtl") : QStringLiteral("ltr"), text);
}
