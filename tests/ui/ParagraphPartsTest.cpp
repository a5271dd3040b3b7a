#include "ui/ParagraphParts.h"

#include "markdown/InlineMarkdown.h"
#include "ui/ThemeTypography.h"

#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <gtest/gtest.h>
#include <ostream>
#include <random>
#include <string>

// Failures show lists of texts as text.
static void PrintTo(const QStringList &texts, std::ostream *out)
{
    *out << '[' << texts.join(QStringLiteral("|")).toStdString() << ']';
}

namespace {

constexpr qreal width = 312;

// The lines of a rich text as a text view of the list lays it out, and the direction it reads.
std::pair<QStringList, Qt::LayoutDirection> lines(const QString &richText)
{
    QTextDocument document;
    document.setDocumentMargin(0);
    document.setDefaultFont(ThemeTypography::bodyFont());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setUseDesignMetrics(true);
    document.setDefaultTextOption(option);
    document.setHtml(richText);
    document.setTextWidth(width);
    document.size();
    EXPECT_EQ(document.blockCount(), 1);
    const QTextBlock block = document.firstBlock();
    QStringList texts;
    for (int line = 0; line < block.layout()->lineCount(); ++line) {
        const QTextLine at = block.layout()->lineAt(line);
        texts.append(block.text().mid(at.textStart(), at.textLength()));
    }
    return {texts, block.textDirection()};
}

constexpr const char *hebrew = "\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d \xd7\xa2\xd7\x95\xd7\x9c\xd7\x9d ";

// Sentences with emphasis, code and links that run over line ends and cuts, some ending in a word
// too long for a line.
std::string paragraph(std::size_t size)
{
    std::mt19937 random(11);
    const std::vector<std::string> pieces = {
        "plain words here ",        "**bold words that run on** ",
        "`some inline code` ",      "[a link to read](https://example.com/a/long/path) ",
        "*leaning words* ",         "an end. ",
        std::string(60, 'w') + " ", "\xf0\x9f\x91\xa9\xe2\x80\x8d\xf0\x9f\x92\xbb emoji "};
    std::string text;
    while (text.size() < size)
        text += pieces[random() % pieces.size()];
    return text;
}

TEST(ParagraphParts, PartsLaidOutOneUnderAnotherWrapAsTheWholeParagraph)
{
    const std::vector<InlineRun> runs = InlineMarkdown::runs(paragraph(20000));
    const auto [whole, direction] = lines(InlineMarkdown::richText(runs, false));
    ParagraphParts parts;
    parts.update(runs, width);
    ASSERT_EQ(parts.count(), (whole.size() + 39) / 40);
    for (std::size_t part = 0; part < parts.count(); ++part) {
        const auto [shown, partDirection] = lines(parts.richText(part));
        EXPECT_EQ(shown, whole.mid(qsizetype(part) * 40, 40)) << part;
        EXPECT_EQ(partDirection, direction) << part;
    }
}

// Right-to-left words, Arabic digits or an isolate anywhere keep the paragraph whole: where they
// go on a line depends on the lines before it, which a part does not have.
TEST(ParagraphParts, ParagraphsThatMixDirectionsAreNotCut)
{
    for (const std::string &mixed : {std::string(hebrew), std::string("\xd9\xa4\xd9\xa2 "),
                                     std::string("\xe2\x81\xa7word\xe2\x81\xa9 ")}) {
        for (const bool first : {false, true}) {
            std::string text = paragraph(20000);
            text.insert(first ? 0 : text.find(' ', text.size() / 2) + 1, mixed);
            ParagraphParts parts;
            parts.update(InlineMarkdown::runs(text), width);
            EXPECT_EQ(parts.count(), 1u) << first;
        }
    }
}

// A paragraph separator inside a paragraph's text breaks its line and does not stop the cutting:
// the parts each lay out as one paragraph.
TEST(ParagraphParts, ParagraphSeparatorInTheTextBreaksALineAndTheParagraphIsStillCut)
{
    std::string text = paragraph(200 * 1024);
    text.insert(text.find(' ', text.size() / 2), "\xe2\x80\xa9");
    ParagraphParts parts;
    parts.update(InlineMarkdown::runs(text), width);
    ASSERT_GT(parts.count(), 1u);
    for (std::size_t part = 0; part < parts.count(); ++part)
        lines(parts.richText(part));
}

// A paragraph that grows at its end is cut as the same paragraph cut at once, and a part that
// changed is reported.
TEST(ParagraphParts, GrowingParagraphIsCutAsTheSameParagraphAtOnce)
{
    const std::string text = paragraph(12000);
    std::mt19937 random(5);
    ParagraphParts growing;
    std::vector<QString> before;
    for (std::size_t end = 0; end < text.size();) {
        end = std::min(text.size(), end + 1 + random() % 300);
        // A reply grows by whole characters.
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            ++end;
        const std::vector<InlineRun> runs = InlineMarkdown::runs(text.substr(0, end));
        const std::size_t firstChanged = growing.update(runs, width);
        ParagraphParts atOnce;
        atOnce.update(runs, width);
        ASSERT_EQ(growing.count(), atOnce.count()) << end;
        for (std::size_t part = 0; part < atOnce.count(); ++part) {
            ASSERT_EQ(growing.richText(part), atOnce.richText(part)) << end;
            if (part < before.size() && part < firstChanged) {
                ASSERT_EQ(growing.richText(part), before[part]) << end;
            }
        }
        EXPECT_LT(firstChanged, growing.count() + 1);
        before.clear();
        for (std::size_t part = 0; part < growing.count(); ++part)
            before.push_back(growing.richText(part));
    }
    EXPECT_GT(growing.count(), 3u);
}

} // namespace
