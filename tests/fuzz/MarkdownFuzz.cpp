// Block parsing, inline runs and rich text of arbitrary bytes. Beyond not crashing, checks:
// runs are non-empty and merged, links are openable, no underscore appears that the text did not
// have, text without inline syntax comes out unchanged (so no block construct of md4c leaks
// through), and the rich text holds only our own tags around exactly the runs' text.
#include "markdown/InlineMarkdown.h"
#include "markdown/MarkdownParser.h"

#include <QString>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void check(bool condition, int line = __builtin_LINE())
{
    if (condition)
        return;
    std::fprintf(stderr, "MarkdownFuzz.cpp:%d: invariant broken\n", line);
    std::abort();
}

QString withLineBreaks(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

// The text a reader sees in our rich text; aborts on any markup we do not emit.
QString visibleText(const QString &html)
{
    static const QString tags[] = {
        QStringLiteral("<span style=\"white-space:pre-wrap\">"),
        QStringLiteral("<span style=\"color:#ffffff;text-decoration:underline\">"),
        QStringLiteral("</span>"),
        QStringLiteral("<b>"),
        QStringLiteral("</b>"),
        QStringLiteral("<i>"),
        QStringLiteral("</i>"),
        QStringLiteral("<code style=\"background-color:rgba(255,255,255,0.2)\">"),
        QStringLiteral("<code style=\"background-color:rgba(128,128,128,0.2)\">"),
        QStringLiteral("</code>"),
        QStringLiteral("</a>")};
    static const std::pair<QString, QChar> entities[] = {
        {QStringLiteral("&lt;"), QLatin1Char('<')},
        {QStringLiteral("&gt;"), QLatin1Char('>')},
        {QStringLiteral("&amp;"), QLatin1Char('&')},
        {QStringLiteral("&quot;"), QLatin1Char('"')},
        {QStringLiteral("&#39;"), QLatin1Char('\'')}};
    QString visible;
    qsizetype at = 0;
    while (at < html.size()) {
        const QStringView rest = QStringView(html).sliced(at);
        if (rest.startsWith(u'<')) {
            if (rest.startsWith(u"<br/>")) {
                visible += QLatin1Char('\n');
                at += 5;
                continue;
            }
            if (rest.startsWith(u"<a href=\"")) {
                const qsizetype close = html.indexOf(QStringLiteral("\">"), at);
                check(close > at);
                const QStringView href = QStringView(html).sliced(at + 9, close - at - 9);
                check(!href.contains(u'<') && !href.contains(u'>') && !href.contains(u'"'));
                at = close + 2;
                continue;
            }
            const auto tag = std::find_if(std::begin(tags), std::end(tags),
                                          [&](const QString &t) { return rest.startsWith(t); });
            check(tag != std::end(tags));
            at += tag->size();
            continue;
        }
        check(!rest.startsWith(u'>') && !rest.startsWith(u'"'));
        if (rest.startsWith(u'&')) {
            const auto entity =
                std::find_if(std::begin(entities), std::end(entities),
                             [&](const auto &e) { return rest.startsWith(e.first); });
            check(entity != std::end(entities));
            visible += entity->second;
            at += entity->first.size();
            continue;
        }
        visible += html[at];
        ++at;
    }
    return visible;
}

void checkInline(std::string_view text, bool isUser)
{
    const std::vector<InlineRun> runs = InlineMarkdown::runs(text);

    std::string joined;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const InlineRun &run = runs[i];
        check(!run.text.empty());
        check(i == 0 || !runs[i - 1].sameAttributes(run));
        if (run.link) {
            const QString scheme = QString::fromStdString(*run.link).section(u':', 0, 0).toLower();
            check(scheme == u"http" || scheme == u"https" || scheme == u"mailto");
        }
        joined += run.text;
    }

    // Entities may spell an underscore; otherwise every shown underscore was in the text.
    if (text.find('&') == std::string_view::npos)
        check(std::count(joined.begin(), joined.end(), '_') <=
              std::count(text.begin(), text.end(), '_'));

    // Without inline syntax the text must show unchanged, whatever block syntax it holds.
    if (text.find_first_of(std::string_view("*_`[<&\\\0", 8)) == std::string_view::npos)
        check(joined == text);

    // Line breaks are counted per run: a break hidden markup separates is two breaks.
    QString expected;
    for (const InlineRun &run : runs)
        expected += withLineBreaks(
            QString::fromUtf8(run.text.data(), static_cast<qsizetype>(run.text.size())));
    check(visibleText(InlineMarkdown::richText(runs, isUser)) == expected);
}

void checkItems(const std::vector<std::string> &items, bool isUser)
{
    check(!items.empty());
    for (const std::string &item : items)
        checkInline(item, isUser);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const bool isUser = size % 2 == 1;

    for (const MarkdownBlock &block : MarkdownParser::parseBlocks(text)) {
        if (const auto *paragraph = std::get_if<MarkdownBlock::Paragraph>(&block.kind)) {
            check(paragraph->text.find('\n') == std::string::npos);
            checkInline(paragraph->text, isUser);
        } else if (const auto *bullets = std::get_if<MarkdownBlock::BulletList>(&block.kind)) {
            checkItems(bullets->items, isUser);
        } else if (const auto *numbered = std::get_if<MarkdownBlock::NumberedList>(&block.kind)) {
            checkItems(numbered->items, isUser);
        } else if (const auto *table = std::get_if<MarkdownBlock::Table>(&block.kind)) {
            for (const auto &row : table->rows)
                check(!row.empty());
        }
    }
    checkInline(text, isUser);
    return 0;
}
