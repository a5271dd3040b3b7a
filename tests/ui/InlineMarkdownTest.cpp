#include "ui/InlineMarkdown.h"

#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextFragment>
#include <cstring>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

void PrintTo(const InlineRun &run, std::ostream *out)
{
    *out << '"' << run.text << '"' << (run.emphasis ? " em" : "") << (run.strong ? " strong" : "")
         << (run.code ? " code" : "");
    if (run.link)
        *out << " link=" << *run.link;
}

namespace {

using Runs = std::vector<InlineRun>;

InlineRun plain(std::string text)
{
    InlineRun run;
    run.text = std::move(text);
    return run;
}

InlineRun em(std::string text)
{
    InlineRun run = plain(std::move(text));
    run.emphasis = true;
    return run;
}

InlineRun strong(std::string text)
{
    InlineRun run = plain(std::move(text));
    run.strong = true;
    return run;
}

InlineRun code(std::string text)
{
    InlineRun run = plain(std::move(text));
    run.code = true;
    return run;
}

InlineRun link(InlineRun run, std::string url)
{
    run.link = std::move(url);
    return run;
}

std::string joined(const Runs &runs)
{
    std::string text;
    for (const InlineRun &run : runs)
        text += run.text;
    return text;
}

// --- The single-asterisk rewrite ---

struct RewriteCase
{
    std::string text;
    std::string rewritten;
};

class InlineMarkdownRewrite : public ::testing::TestWithParam<RewriteCase>
{};

TEST_P(InlineMarkdownRewrite, RewritesOnlyPairsThatOpenAndClose)
{
    EXPECT_EQ(InlineMarkdown::rewriteSingleAsterisks(GetParam().text), GetParam().rewritten);
}

INSTANTIATE_TEST_SUITE_P(
    Table, InlineMarkdownRewrite,
    ::testing::Values(RewriteCase{"*a*", "_a_"}, RewriteCase{"*a* and **b**", "_a_ and **b**"},
                      RewriteCase{"2 * 3 * 4", "2 * 3 * 4"}, RewriteCase{"* a*", "* a*"},
                      RewriteCase{"*a *", "*a *"}, RewriteCase{"*a * b*", "_a * b_"},
                      RewriteCase{"**b**", "**b**"}, RewriteCase{"***c***", "***c***"},
                      RewriteCase{"*a**b*", "_a**b_"}, RewriteCase{"**", "**"},
                      RewriteCase{"*", "*"}, RewriteCase{"*a", "*a"},
                      // Shortest run first, then the scan goes on after the closer.
                      RewriteCase{"*a*b*", "_a*b_"}, RewriteCase{"*x* y *z*", "_x_ y _z_"},
                      // Beside letters an underscore would show instead of emphasis.
                      RewriteCase{"a*b*c", "a*b*c"}, RewriteCase{"(*b*).", "(_b_)."},
                      RewriteCase{"*\xC3\xA9*", "_\xC3\xA9_"},
                      // A pair never spans a line terminator.
                      RewriteCase{"*a\nb*", "*a\nb*"}, RewriteCase{"*a\rb*", "*a\rb*"},
                      RewriteCase{"*a\xE2\x80\xA8"
                                  "b*",
                                  "*a\xE2\x80\xA8"
                                  "b*"},
                      RewriteCase{"*a\r*b*", "*a\r_b_"}));

// --- Runs ---

struct RunsCase
{
    const char *name;
    std::string text;
    Runs runs;
};

void PrintTo(const RunsCase &c, std::ostream *out)
{
    *out << c.name;
}

class InlineMarkdownRuns : public ::testing::TestWithParam<RunsCase>
{};

TEST_P(InlineMarkdownRuns, RendersInlineSyntaxOnly)
{
    EXPECT_EQ(InlineMarkdown::runs(GetParam().text), GetParam().runs);
}

INSTANTIATE_TEST_SUITE_P(
    Table, InlineMarkdownRuns,
    ::testing::Values(
        RunsCase{"EmptyTextHasNoRuns", "", {}},
        RunsCase{"EmphasisAndStrong", "*a* and **b**", {em("a"), plain(" and "), strong("b")}},
        RunsCase{"ArithmeticKeepsItsAsterisks", "2 * 3 * 4", {plain("2 * 3 * 4")}},
        RunsCase{"IntrawordAsterisksStillEmphasise",
                 "foo*bar*baz",
                 {plain("foo"), em("bar"), plain("baz")}},
        RunsCase{"UnderscoresOfTheTextStay", "snake_case_name", {plain("snake_case_name")}},
        RunsCase{
            "CodeShowsItsAsterisks", "`*p*` and `a_b`", {code("*p*"), plain(" and "), code("a_b")}},
        RunsCase{"UnmatchedRewriteShowsTheAsterisk", "*a `b* c`", {plain("*a "), code("b* c")}},
        RunsCase{"NestedEmphasisInStrong",
                 "**a *b* c**",
                 {strong("a "),
                  [] {
                      InlineRun r = em("b");
                      r.strong = true;
                      return r;
                  }(),
                  strong(" c")}},
        RunsCase{"BackslashEscapesAreConsumed", "\\*a\\* \\_b\\_", {plain("*a* _b_")}},
        RunsCase{"HtmlIsLiteral",
                 "<b>x</b> <img src=a> <script>",
                 {plain("<b>x</b> <img src=a> <script>")}},
        RunsCase{"Entities",
                 "&amp; &copy; &#65; &#x42; &#0; &#1114112; &bogus;",
                 {plain("& \xC2\xA9 A B \xEF\xBF\xBD \xEF\xBF\xBD &bogus;")}},
        RunsCase{"NulBecomesReplacement", std::string("x\0y", 3), {plain("x\xEF\xBF\xBDy")}},
        RunsCase{"ImageShowsItsText", "![alt *t*](http://x/i.png)", {plain("alt "), em("t")}},
        RunsCase{"LeadingAndTrailingWhiteSpaceKept", "  a  ", {plain("  a  ")}},
        RunsCase{"InnerWhiteSpaceKept", "a \t  b", {plain("a \t  b")}},
        RunsCase{"LineBreaksKept", "a  \rb\r\rc\r  d\r", {plain("a  \rb\r\rc\r  d\r")}},
        RunsCase{"OnlyWhiteSpace", " \r\t", {plain(" \r\t")}},
        RunsCase{"BreakInsideEmphasisKeepsIt", "*a\rb*", {em("a\rb")}},
        RunsCase{"BreakInsideCode", "`a\rb`", {code("a\rb")}},
        RunsCase{
            "BreakAtTheEndOfALink", "[x\r](https://e.org)", {link(plain("x\r"), "https://e.org")}},
        RunsCase{"InvalidUtf8PassesThrough",
                 "\xFF *a* \xC0",
                 {plain("\xFF "), em("a"), plain(" \xC0")}}),
    [](const ::testing::TestParamInfo<RunsCase> &param) { return param.param.name; });

// --- Block syntax stays literal ---

class InlineMarkdownBlockSyntax : public ::testing::TestWithParam<std::string>
{};

TEST_P(InlineMarkdownBlockSyntax, ShowsTheLiteralText)
{
    EXPECT_EQ(InlineMarkdown::runs(GetParam()), Runs{plain(GetParam())});
}

INSTANTIATE_TEST_SUITE_P(
    Table, InlineMarkdownBlockSyntax,
    ::testing::Values("# x", "###### x", "#", "  # x", "          # x", "\t# x", "> x", "  >x",
                      "- x", "  - x", "+ x", "-", "+", "* x", "*", "1) x", "2. x", "  2. x", "1.",
                      "123456789) x", "---", "***", "* * *", "___", "_ _ _", " - - -",
                      "    four spaces", "```x", "```", "~~~x", "~~~", "[a]: b", "[a]:b",
                      "[a]: http://x \"t\"", "a\r===", "a\r---", "a\r=", "a\r-", "a\r# b",
                      "a\r  > b", "a\r\r    b", "a\r\t# b", "a\r\n# b", "a\n# b", "a\r1. b",
                      "a\r* b", "a\r\r***", "[a\rb]: c", "x\r[a]: b", "1.5 is a number", "#hashtag",
                      "####### seven"));

// What md4c would take as a block start still renders its inline syntax.
TEST(InlineMarkdown, InlineSyntaxRendersAfterNeutralisedBlockStarts)
{
    EXPECT_EQ(InlineMarkdown::runs("**bold** start"), (Runs{strong("bold"), plain(" start")}));
    EXPECT_EQ(InlineMarkdown::runs("_em_ start"), (Runs{em("em"), plain(" start")}));
    EXPECT_EQ(InlineMarkdown::runs("  **bold**"), (Runs{plain("  "), strong("bold")}));
    EXPECT_EQ(InlineMarkdown::runs("* a **b**"), (Runs{plain("* a "), strong("b")}));
    EXPECT_EQ(InlineMarkdown::runs("1. *x*"), (Runs{plain("1. "), em("x")}));
    EXPECT_EQ(InlineMarkdown::runs("# *x*"), (Runs{plain("# "), em("x")}));
    EXPECT_EQ(InlineMarkdown::runs("> `c`"), (Runs{plain("> "), code("c")}));
    EXPECT_EQ(InlineMarkdown::runs("a\r# *b*"), (Runs{plain("a\r# "), em("b")}));
    // A backtick run with another backtick on its line is no fence: it opens a code span.
    EXPECT_EQ(InlineMarkdown::runs("```a``` b"), (Runs{code("a"), plain(" b")}));
    // A code span may run over lines that md4c would read as a fence.
    EXPECT_EQ(InlineMarkdown::runs("a\r```b\rc```"), (Runs{plain("a\r"), code("b\rc")}));
    EXPECT_EQ(InlineMarkdown::runs("```b\rc```"), (Runs{code("b\rc")}));
    EXPECT_EQ(InlineMarkdown::runs("[link](http://x) after"),
              (Runs{link(plain("link"), "http://x"), plain(" after")}));
}

// --- Links ---

TEST(InlineMarkdown, KeepsOnlyLinksTheUserMayOpen)
{
    EXPECT_EQ(InlineMarkdown::runs("[a](http://x.org/p?q=1)"),
              (Runs{link(plain("a"), "http://x.org/p?q=1")}));
    EXPECT_EQ(InlineMarkdown::runs("[a](HTTPS://x.org)"),
              (Runs{link(plain("a"), "HTTPS://x.org")}));
    EXPECT_EQ(InlineMarkdown::runs("[a](mailto:me@x.org)"),
              (Runs{link(plain("a"), "mailto:me@x.org")}));
    EXPECT_EQ(InlineMarkdown::runs("<https://x.org>"),
              (Runs{link(plain("https://x.org"), "https://x.org")}));
    EXPECT_EQ(InlineMarkdown::runs("<me@x.org>"),
              (Runs{link(plain("me@x.org"), "mailto:me@x.org")}));
    EXPECT_EQ(InlineMarkdown::runs("[*a*](http://x)"), (Runs{link(em("a"), "http://x")}));

    for (const char *text : {"[a](javascript:alert(1))", "[a](file:///etc/passwd)", "[a](b)",
                             "[a](vessa-mac://callback?code=1)", "[a](data:text/html,x)",
                             "[a](/local)", "<ftp://x.org>"}) {
        const Runs runs = InlineMarkdown::runs(text);
        for (const InlineRun &run : runs)
            EXPECT_FALSE(run.link.has_value()) << text;
    }
    EXPECT_EQ(InlineMarkdown::runs("[a](javascript:alert(1))"), (Runs{plain("a")}));
}

TEST(InlineMarkdown, BareUrlsAreNotLinks)
{
    EXPECT_EQ(InlineMarkdown::runs("see https://x.org or www.x.org"),
              (Runs{plain("see https://x.org or www.x.org")}));
}

TEST(InlineMarkdown, LinkDestinationKeepsItsAsterisksAndEntities)
{
    EXPECT_EQ(InlineMarkdown::runs("[a](http://x/*y*)"), (Runs{link(plain("a"), "http://x/*y*")}));
    EXPECT_EQ(InlineMarkdown::runs("[a](http://x/?a=1&amp;b=2)"),
              (Runs{link(plain("a"), "http://x/?a=1&b=2")}));
}

// md4c reads past its input when the text ends inside a link destination. The text sits at the
// very end of a readable page, followed by an unreadable one, so any read past it faults.
TEST(InlineMarkdown, TextEndingInsideALinkDestinationIsReadWithinItsBounds)
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
        const Runs runs = InlineMarkdown::runs(std::string_view(start, text.size()));
        EXPECT_EQ(joined(runs), text);
    }
    munmap(mapping, 2 * pageSize);
}

// --- Rich text ---

TEST(InlineMarkdown, RichTextEscapesEveryCharacterOfTheText)
{
    EXPECT_EQ(InlineMarkdown::richText({plain("<b>x</b> <img src=\"a\"> <script>&'")}, false),
              "<span style=\"white-space:pre-wrap\">&lt;b&gt;x&lt;/b&gt; &lt;img "
              "src=&quot;a&quot;&gt; &lt;script&gt;&amp;&#39;</span>");
    EXPECT_EQ(InlineMarkdown::inlineText("**<b>**", false),
              "<span style=\"white-space:pre-wrap\"><b>&lt;b&gt;</b></span>");
}

TEST(InlineMarkdown, RichTextEscapesLinks)
{
    const QString html =
        InlineMarkdown::richText({link(plain("a"), "http://x/?q=\"1\"&r=<2>'")}, false);
    EXPECT_EQ(html, "<span style=\"white-space:pre-wrap\"><a "
                    "href=\"http://x/?q=&quot;1&quot;&amp;r=&lt;2&gt;&#39;\">a</a></span>");
}

TEST(InlineMarkdown, RichTextMarksEachRun)
{
    InlineRun all = link(code("c"), "https://x");
    all.emphasis = true;
    all.strong = true;
    EXPECT_EQ(
        InlineMarkdown::richText({em("i"), strong("b"), code("c"), plain("a\r\nb\rc\nd"), all},
                                 false),
        "<span style=\"white-space:pre-wrap\"><i>i</i><b>b</b><code>c</code>a<br/>b<br/>c<br/>d"
        "<a href=\"https://x\"><b><i><code>c</code></i></b></a></span>");
}

QTextDocument *document(const QString &html)
{
    auto *doc = new QTextDocument;
    doc->setHtml(html);
    return doc;
}

// The character format of the first fragment whose text is `text`.
QTextCharFormat formatOf(const QTextDocument &doc, const QString &text)
{
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (it.fragment().text() == text)
                return it.fragment().charFormat();
        }
    }
    ADD_FAILURE() << "no fragment " << text.toStdString();
    return {};
}

TEST(InlineMarkdown, UserLinksAreWhiteAndUnderlinedInQtRichText)
{
    const Runs runs{plain("see "), link(plain("site"), "https://x.org")};

    const std::unique_ptr<QTextDocument> user(document(InlineMarkdown::richText(runs, true)));
    const QTextCharFormat userLink = formatOf(*user, "site");
    EXPECT_TRUE(userLink.isAnchor());
    EXPECT_EQ(userLink.anchorHref(), "https://x.org");
    EXPECT_EQ(userLink.foreground().color(), QColor(Qt::white));
    EXPECT_TRUE(userLink.fontUnderline());

    const std::unique_ptr<QTextDocument> assistant(document(InlineMarkdown::richText(runs, false)));
    const QTextCharFormat assistantLink = formatOf(*assistant, "site");
    EXPECT_TRUE(assistantLink.isAnchor());
    EXPECT_EQ(assistantLink.anchorHref(), "https://x.org");
    EXPECT_NE(assistantLink.foreground().color(), QColor(Qt::white));
}

TEST(InlineMarkdown, QtRichTextShowsStylesOfTheRuns)
{
    const std::unique_ptr<QTextDocument> doc(
        document(InlineMarkdown::inlineText("*i* **b** `c`", false)));
    EXPECT_TRUE(formatOf(*doc, "i").fontItalic());
    EXPECT_GE(formatOf(*doc, "b").fontWeight(), QFont::Bold);
    EXPECT_TRUE(formatOf(*doc, "c").fontFamilies().toStringList().contains("monospace"));
}

// What the reader sees is the runs' text: white space, line breaks and markup-like characters
// all survive Qt's HTML reading.
TEST(InlineMarkdown, QtRichTextShowsExactlyTheRunText)
{
    for (const char *text :
         {"  lead and  inner  spaces  ", "a\rb\r\rc", "<script>alert(1)</script>",
          "&amp;lt; &lt; \"q\" 'a'", "*a* <b>**b**</b> `<i>`",
          "[x](javascript:1) [y](https://y.org)", "tab\there"}) {
        const Runs runs = InlineMarkdown::runs(text);
        QString expected = QString::fromStdString(joined(runs));
        expected.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        const std::unique_ptr<QTextDocument> doc(document(InlineMarkdown::richText(runs, true)));
        EXPECT_EQ(doc->toPlainText(), expected) << text;
    }
}

} // namespace
