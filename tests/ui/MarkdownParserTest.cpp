#include "ui/MarkdownParser.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

void PrintTo(const MarkdownBlock &block, std::ostream *out)
{
    const auto list = [out](const char *name, const std::vector<std::string> &items) {
        *out << name << '[';
        for (const std::string &item : items)
            *out << '"' << item << "\" ";
        *out << ']';
    };
    if (const auto *p = std::get_if<MarkdownBlock::Paragraph>(&block.kind)) {
        *out << "Paragraph\"" << p->text << '"';
    } else if (const auto *c = std::get_if<MarkdownBlock::CodeBlock>(&block.kind)) {
        *out << "Code\"" << c->code << "\" lang=" << c->language.value_or("<none>");
    } else if (const auto *t = std::get_if<MarkdownBlock::Table>(&block.kind)) {
        list("Table", t->headers);
        for (const auto &row : t->rows)
            list(" row", row);
    } else if (const auto *b = std::get_if<MarkdownBlock::BulletList>(&block.kind)) {
        list("Bullets", b->items);
    } else if (const auto *n = std::get_if<MarkdownBlock::NumberedList>(&block.kind)) {
        list("Numbered", n->items);
    }
}

namespace {

using Blocks = std::vector<MarkdownBlock>;
using Strings = std::vector<std::string>;

MarkdownBlock paragraph(std::string text)
{
    return {MarkdownBlock::Paragraph{std::move(text)}};
}

MarkdownBlock code(std::string text, std::optional<std::string> language = std::nullopt)
{
    return {MarkdownBlock::CodeBlock{std::move(text), std::move(language)}};
}

MarkdownBlock table(Strings headers, std::vector<Strings> rows)
{
    return {MarkdownBlock::Table{std::move(headers), std::move(rows)}};
}

MarkdownBlock bullets(Strings items)
{
    return {MarkdownBlock::BulletList{std::move(items)}};
}

MarkdownBlock numbered(Strings items)
{
    return {MarkdownBlock::NumberedList{std::move(items)}};
}

struct BlocksCase
{
    const char *name;
    std::string text;
    Blocks blocks;
};

void PrintTo(const BlocksCase &c, std::ostream *out)
{
    *out << c.name;
}

class MarkdownParserBlocks : public ::testing::TestWithParam<BlocksCase>
{};

TEST_P(MarkdownParserBlocks, ParsesTheDocumentedBlocks)
{
    EXPECT_EQ(MarkdownParser::parseBlocks(GetParam().text), GetParam().blocks);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MarkdownParserBlocks,
    ::testing::Values(
        BlocksCase{"EmptyTextHasNoBlocks", "", {}},
        BlocksCase{"BlankLinesHaveNoBlocks", "\n  \n\t\n\xC2\xA0", {}},
        BlocksCase{"FenceWithLanguage", "```txt\na = 1\n```", {code("a = 1", "txt")}},
        BlocksCase{"FenceLanguageIsTrimmed", "``` \xC2\xA0py\t\nx\n```", {code("x", "py")}},
        BlocksCase{"FenceOfSpacesHasNoLanguage", "```   \nx\n```", {code("x")}},
        BlocksCase{"UnclosedFenceTakesTheRest", "```\na\n\n- b", {code("a\n\n- b")}},
        BlocksCase{"EmptyCodeBlock", "```\n```", {code("")}},
        BlocksCase{"OpeningFenceAtTheEnd", "```sh", {code("", "sh")}},
        BlocksCase{
            "AnyFenceLineCloses", "```\nx\n```js more\nafter", {code("x"), paragraph("after")}},
        BlocksCase{"CodeLinesAreVerbatim",
                   "```\n  # x \n| a | b |\n---\n```",
                   {code("  # x \n| a | b |\n---")}},
        BlocksCase{"IndentedFenceIsParagraphText", "  ```\nx", {paragraph("  ``` x")}},
        BlocksCase{"PlainTable", "a | b\n---|---\nc | d", {table({"a", "b"}, {{"c", "d"}})}},
        BlocksCase{
            "PipedTable", "| a | b |\n|:--|--:|\n| 1 | 2 |", {table({"a", "b"}, {{"1", "2"}})}},
        BlocksCase{"DashOnlyCellDropped", "a | b\n-|-\n| - | x |", {table({"a", "b"}, {{"x"}})}},
        BlocksCase{"RowWithoutCellsIsConsumed",
                   "a|b\n-|-\n|---|\nc|d\n| |",
                   {table({"a", "b"}, {{"c", "d"}})}},
        BlocksCase{"SeparatorIsNotInspected", "a|b\nx|-y\nc|d", {table({"a", "b"}, {{"c", "d"}})}},
        BlocksCase{"HeaderMayBeEmpty", "|---|\n|-|\nx|y", {table({}, {{"x", "y"}})}},
        BlocksCase{"TableEndsAtALineWithoutPipe",
                   "a|b\n-|-\nc|d\n- item\nmore",
                   {table({"a", "b"}, {{"c", "d"}}), bullets({"item"}), paragraph("more")}},
        BlocksCase{"NextLineWithoutPipeIsNoTable",
                   "x | y\n- item",
                   {paragraph("x | y"), bullets({"item"})}},
        BlocksCase{"NextLineWithoutDashIsNoTable", "x | y\na | b", {paragraph("x | y a | b")}},
        BlocksCase{"LastLineWithPipeIsNoTable", "x | y", {paragraph("x | y")}},
        BlocksCase{"TableRuleComesBeforeBullets", "- a | b\n-|-", {table({"- a", "b"}, {})}},
        BlocksCase{"FenceRuleComesBeforeTables", "```|\n|-", {code("|-", "|")}},
        BlocksCase{"ParagraphEndsBeforeATable",
                   "intro\nmore\na|b\n-|-\n1|2",
                   {paragraph("intro more"), table({"a", "b"}, {{"1", "2"}})}},
        BlocksCase{"BulletItemsKeepTheirText", "- a\n* b\n-  c ", {bullets({"a", "b", " c "})}},
        BlocksCase{"MarkerWithoutSpaceIsText", "-item", {paragraph("-item")}},
        BlocksCase{"IndentedMarkerIsText", "  - item", {paragraph("  - item")}},
        BlocksCase{"TabAfterMarkerIsText", "-\titem", {paragraph("-\titem")}},
        BlocksCase{"NumbersAreDiscarded", "3. three\n7. seven", {numbered({"three", "seven"})}},
        BlocksCase{"NumberedPrefixTakesOneWhiteSpace",
                   "12.  x\n1.\ty\n2.\xC2\xA0z",
                   {numbered({" x", "y", "z"})}},
        BlocksCase{"NumberedDigitsOfAnyScript", "\xD9\xA3. three", {numbered({"three"})}},
        BlocksCase{"NumberWithoutSpaceIsText", "1.x\n1 . y\n.z", {paragraph("1.x 1 . y .z")}},
        BlocksCase{"SuperscriptIsNoDigit", "\xC2\xB2. x", {paragraph("\xC2\xB2. x")}},
        BlocksCase{"ListsEndAtTheOtherKind",
                   "- a\n1. b\n- c",
                   {bullets({"a"}), numbered({"b"}), bullets({"c"})}},
        BlocksCase{
            "LineBreakBecomesASpace", "line one\nline two", {paragraph("line one line two")}},
        BlocksCase{"BlankLineSeparatesParagraphs",
                   "line one\n\nline two",
                   {paragraph("line one"), paragraph("line two")}},
        BlocksCase{
            "SpaceSeparatorLineIsBlank", "a\n\xE3\x80\x80\nb", {paragraph("a"), paragraph("b")}},
        BlocksCase{
            "LineSeparatorIsNotBlank", "a\n\xE2\x80\xA8\nb", {paragraph("a \xE2\x80\xA8 b")}},
        BlocksCase{"ParagraphLinesAreNotTrimmed", "  a  \n  b", {paragraph("  a     b")}},
        BlocksCase{"ParagraphEndsAtEachBlockStart",
                   "p\n- b\nq\n1. n\nr\n```\nc\n```",
                   {paragraph("p"), bullets({"b"}), paragraph("q"), numbered({"n"}), paragraph("r"),
                    code("c")}},
        BlocksCase{"UnrecognisedBlocksStayText",
                   "# Title\n> quote\n---\n    code",
                   {paragraph("# Title > quote ---     code")}},
        BlocksCase{"CrLfParsesLikeLf",
                   "a\r\nb\r\n\r\n```js\r\nx\r\n```\r\n- i\r\n",
                   {paragraph("a b"), code("x", "js"), bullets({"i"})}},
        BlocksCase{"LoneCarriageReturnStays", "a\rb\r", {paragraph("a\rb\r")}}),
    [](const ::testing::TestParamInfo<BlocksCase> &param) { return param.param.name; });

struct RowCase
{
    std::string line;
    Strings cells;
};

class MarkdownParserTableRow : public ::testing::TestWithParam<RowCase>
{};

TEST_P(MarkdownParserTableRow, SplitsTrimsAndDropsMarkers)
{
    EXPECT_EQ(MarkdownParser::parseTableRow(GetParam().line), GetParam().cells);
}

INSTANTIATE_TEST_SUITE_P(Table, MarkdownParserTableRow,
                         ::testing::Values(RowCase{"| a | b |", {"a", "b"}},
                                           RowCase{"a||b", {"a", "b"}}, RowCase{"|:--:|---|", {}},
                                           RowCase{"| :x: | -1 |", {":x:", "-1"}},
                                           RowCase{" | ", {}}, RowCase{"", {}},
                                           RowCase{"plain", {"plain"}},
                                           RowCase{"|\xC2\xA0"
                                                   "a b\xE3\x80\x80|\t",
                                                   {"a b"}},
                                           RowCase{"| `x|y` |", {"`x", "y`"}}));

} // namespace
