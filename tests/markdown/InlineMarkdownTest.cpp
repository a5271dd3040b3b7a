#include "markdown/InlineMarkdown.h"

#include "markdown/SingleAsteriskRewrite.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QTextBlock>
#include <QTextDocument>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// The runs written compactly: _emphasis_, **strong**, `code`, [text](link), each run followed
// by "|" so that run boundaries show.
std::string shown(std::string_view text)
{
    std::string out;
    for (const InlineRun &run : InlineMarkdown::runs(text)) {
        std::string piece = run.code ? "`" + run.text + "`" : run.text;
        piece = run.emphasis ? "_" + piece + "_" : piece;
        piece = run.strong ? "**" + piece + "**" : piece;
        out += (run.link ? "[" + piece + "](" + *run.link + ")" : piece) + "|";
    }
    return out;
}

using Cases = std::initializer_list<std::pair<std::string, std::string>>;
using Texts = std::initializer_list<std::string>;

TEST(SingleAsteriskRewrite, PairsAreRewrittenOnlyWhenTheyOpenAndClose)
{
    for (const auto &text :
         Texts{"2 * 3 * 4", "* a*", "*a *", "**b**", "***c***", "a*b*c", "*a\nb*", "*a\rb*",
               "*a\xE2\x80\xA8"
               "b*"})
        EXPECT_EQ(SingleAsteriskRewrite::rewritten(text), text);
    for (const auto &[text, rewritten] : Cases{{"*a* and **b**", "_a_ and **b**"},
                                               {"*a*b*", "_a*b_"},
                                               {"*x* y *z*", "_x_ y _z_"},
                                               {"(*b*).", "(_b_)."},
                                               {"*\xC3\xA9*", "_\xC3\xA9_"},
                                               {"*a\r*b*", "*a\r_b_"}})
        EXPECT_EQ(SingleAsteriskRewrite::rewritten(text), rewritten) << text;
}

TEST(InlineMarkdown, RendersInlineSyntaxAndOnlyLinksTheUserMayOpen)
{
    for (const auto &[text, runs] :
         Cases{{"", ""},
               {"*a* and **b**", "_a_| and |**b**|"},
               {"`*p*` and *a `b* c`", "`*p*`| and *a |`b* c`|"},
               {"\xFF *a* \xC0", "\xFF |_a_| \xC0|"},
               {"# *x*", "# |_x_|"},
               {"* a **b**", "* a |**b**|"},
               {"a\r```b\rc```", "a\r|`b\rc`|"},
               {"```a``` b", "`a`| b|"},
               {"[x\r](https://e.org)", "[x\r](https://e.org)|"},
               {"[*a*](HTTPS://x.org/?a=1&amp;b=2)", "[_a_](HTTPS://x.org/?a=1&b=2)|"},
               {"[a](http://x/?b=*2*)", "[a](http://x/?b=*2*)|"},
               {"*i* [a](http://x/*y*&amp;)", "_i_| |[a](http://x/*y*&)|"},
               {"<me@x.org> [m](mailto:m@x.org)",
                "[me@x.org](mailto:me@x.org)| |[m](mailto:m@x.org)|"},
               {"[a](javascript:alert(1)) [b](file:///etc/passwd) [c](c)", "a b c|"},
               {"[a](vessa-mac://callback?code=1)[b](data:text/html,x)[c](/c)<ftp://x.org>",
                "abcftp://x.org|"}})
        EXPECT_EQ(shown(text), runs) << text;
}

TEST(InlineMarkdown, BlockSyntaxHtmlAndBareAddressesStayLiteralText)
{
    for (const auto &text : Texts{"# x", "  # x", "\t# x", "> x", "- x", "+ x", "* x", "*", "1) x",
                                  "2. x", "1.", "123456789) x", "---", "* * *", "___",
                                  "    four spaces", "```x", "~~~", "[a]: http://x \"t\""})
        EXPECT_EQ(shown(text), text + "|") << text;
    for (const auto &text :
         Texts{"a\r===", "a\r---", "a\r# b", "a\r  > b", "a\r\r    b", "a\r\n# b", "a\n# b",
               "a\r1. b", "a\r\r***", "[a\rb]: c", "x\r[a]: b", "####### seven", "snake_case_name",
               "<b>x</b> <img src=a> <script>", "  a \t b\r\rc\r  ",
               "see https://x.org or www.x.org"})
        EXPECT_EQ(shown(text), text + "|") << text;
}

// md4c reads past its input when the text ends inside a link destination. The text sits at the
// very end of a readable page, followed by an unreadable one, so any read past it faults.
TEST(InlineMarkdown, TextEndingInsideAConstructIsReadWithinItsBounds)
{
    const auto pageSize = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void *mapping =
        mmap(nullptr, 2 * pageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapping, MAP_FAILED);
    auto *pages = static_cast<char *>(mapping);
    ASSERT_EQ(mprotect(pages + pageSize, pageSize, PROT_NONE), 0);
    for (const std::string_view text :
         {"[a](b", "[a](<b", "[a](b \"t", "<http://x", "&#x", "`a", "*a", "[a]", "\\"}) {
        char *start = pages + pageSize - text.size();
        std::memcpy(start, text.data(), text.size());
        EXPECT_EQ(shown(std::string_view(start, text.size())), std::string(text) + "|");
    }
    munmap(mapping, 2 * pageSize);
}

// What the reader sees after Qt reads the HTML is exactly the runs' text, and links keep their
// destination; on a user's bubble they are white.
TEST(InlineMarkdown, QtRichTextShowsExactlyTheRunTextAndEscapedLinks)
{
    const auto *text = "  a  *b* <script>alert(1)</script>\r&amp;lt; 'q' \"q\" `<i>`\t"
                       "[x](javascript:1) [y](https://y.org/?q=\"1\"&r=<2>')";
    QTextDocument document;
    document.setHtml(InlineMarkdown::inlineText(text, true));
    EXPECT_EQ(document.toPlainText().toStdString(),
              "  a  b <script>alert(1)</script>\n&lt; 'q' \"q\" <i>\tx y");
    QTextCharFormat link;
    for (auto it = document.begin().begin(); !it.atEnd(); ++it)
        link = it.fragment().text() == "y" ? it.fragment().charFormat() : link;
    EXPECT_EQ(link.anchorHref(), "https://y.org/?q=\"1\"&r=<2>'");
    EXPECT_EQ(link.foreground().color(), QColor(Qt::white));
}

// Inline code is drawn in a fixed-pitch face on a tint of its own, on either bubble.
TEST(InlineMarkdown, InlineCodeIsMonospaceOnATintedBackground)
{
    for (const bool isUser : {false, true}) {
        QTextDocument document;
        document.setHtml(InlineMarkdown::inlineText("a `iiiiiiii` b `MMMMMMMM` c", isUser));
        std::map<QString, QTextCharFormat> formats;
        for (auto it = document.begin().begin(); !it.atEnd(); ++it)
            formats[it.fragment().text()] = it.fragment().charFormat();
        const QTextCharFormat &narrow = formats["iiiiiiii"];
        const QTextCharFormat &wide = formats["MMMMMMMM"];
        EXPECT_TRUE(QFontInfo(narrow.font()).fixedPitch());
        EXPECT_EQ(QFontMetricsF(narrow.font()).horizontalAdvance("iiiiiiii"),
                  QFontMetricsF(wide.font()).horizontalAdvance("MMMMMMMM"));
        EXPECT_EQ(narrow.background().style(), Qt::SolidPattern);
        EXPECT_GT(narrow.background().color().alpha(), 0);
        EXPECT_LT(narrow.background().color().alpha(), 255);
        EXPECT_EQ(formats["a "].background().style(), Qt::NoBrush);
    }
}

} // namespace
