#include "markdown/MarkdownParser.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::string cells(const std::vector<std::string> &items)
{
    std::string out;
    for (const std::string &item : items)
        out += "[" + item + "]";
    return out;
}

// The blocks written compactly: P[text], C(language or -)[code], T[header]/[cell], B[item] and
// N[item], separated by spaces.
std::string shown(std::string_view text)
{
    std::string out;
    for (const MarkdownBlock &block : MarkdownParser::parseBlocks(text)) {
        out += out.empty() ? "" : " ";
        if (const auto *p = std::get_if<MarkdownBlock::Paragraph>(&block.kind))
            out += "P[" + p->text + "]";
        else if (const auto *c = std::get_if<MarkdownBlock::CodeBlock>(&block.kind))
            out += "C(" + c->language.value_or("-") + ")[" + c->code + "]";
        else if (const auto *b = std::get_if<MarkdownBlock::BulletList>(&block.kind))
            out += "B" + cells(b->items);
        else if (const auto *n = std::get_if<MarkdownBlock::NumberedList>(&block.kind))
            out += "N" + cells(n->items);
        else if (const auto *t = std::get_if<MarkdownBlock::Table>(&block.kind)) {
            out += "T" + cells(t->headers);
            for (const auto &row : t->rows)
                out += "/" + cells(row);
        }
    }
    return out;
}

TEST(MarkdownParser, SplitsTextIntoTheFiveBlockKinds)
{
    for (const auto &[text, blocks] : std::initializer_list<std::pair<std::string, std::string>>{
             {"\n  \n\t\n\xC2\xA0", ""},
             {"``` \xC2\xA0py\t\nx\n```", "C(py)[x]"},
             {"```\na\n\n- b", "C(-)[a\n\n- b]"},
             {"```\nx\n```js more\nafter", "C(-)[x] P[after]"},
             {"```\n  # x \n| a | b |\n```", "C(-)[  # x \n| a | b |]"},
             {"  ```\nx", "P[  ``` x]"},
             {"| a | b |\n|:--|--:|\n| 1 | 2 |", "T[a][b]/[1][2]"},
             {"a|b\n-|-\n|---|\nc|d\n| |", "T[a][b]/[c][d]"},
             {"|---|\n|-|\nx|y", "T/[x][y]"},
             {"a|b\n-|-\n|\xC2\xA0"
              "c d\xE3\x80\x80| :x: |\n- item\nmore",
              "T[a][b]/[c d][:x:] B[item] P[more]"},
             {"x | y\na | b", "P[x | y a | b]"},
             {"- a | b\n-|-", "T[- a][b]"},
             {"```|\n|-", "C(|)[|-]"},
             {"intro\nmore\na|b\n-|-", "P[intro more] T[a][b]"},
             {"- a\n* b\n-  c ", "B[a][b][ c ]"},
             {"-item\n  - item\n-\titem", "P[-item   - item -\titem]"},
             {"12.  x\n1.\ty\n2.\xC2\xA0z\n\xD9\xA3. w", "N[ x][y][z][w]"},
             {"1.x\n1 . y\n\xC2\xB2. x", "P[1.x 1 . y \xC2\xB2. x]"},
             {"- a\n1. b\n- c", "B[a] N[b] B[c]"},
             {"a\n\xE2\x80\xA8\nb", "P[a \xE2\x80\xA8 b]"},
             {"p\n- b\nq\n1. n\nr\n```\nc\n```", "P[p] B[b] P[q] N[n] P[r] C(-)[c]"},
             {"# Title\n> quote\n---\n    code", "P[# Title > quote ---     code]"},
             {"a\r\nb\r\n\r\n```js\r\nx\r\n```\r\n- i\r\n", "P[a b] C(js)[x] B[i]"},
             {"a\rb\r", "P[a\rb\r]"},
             // Malformed UTF-8 stays as it is, up to a sequence cut short at the very end.
             {"\xFF \xC0\x80\n- \xED\xA0\x80\n\xE2\x82",
              "P[\xFF \xC0\x80] B[\xED\xA0\x80] P[\xE2\x82]"}})
        EXPECT_EQ(shown(text), blocks) << text;
}

} // namespace
