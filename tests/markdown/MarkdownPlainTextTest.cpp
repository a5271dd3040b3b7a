#include "markdown/MarkdownPlainText.h"

#include <QString>
#include <gtest/gtest.h>
#include <string>
#include <utility>

namespace {

// What a screen reader is handed: the words as the screen shows them, no Markdown syntax.
TEST(MarkdownPlainText, ReadsTheWordsWithoutTheirSyntax)
{
    for (const auto &[markdown, plain] : std::initializer_list<std::pair<std::string, std::string>>{
             {"", ""},
             {"\n\n", ""},
             {"*a* and **b** with `c` and [d](https://d.org)", "a and b with c and d"},
             {"2 * 3 * 4 and *not closed", "2 * 3 * 4 and *not closed"},
             {"line one\nline two\n\nnext", "line one line two\n\nnext"},
             {"Done:\n- **eggs**\n* toast", "Done:\n\neggs\ntoast"},
             {"3. three\n7. *seven*", "1. three\n2. seven"},
             {"| Meal | kcal |\n|---|---:|\n| **Lunch** | 450 |\n| Tea |",
              "Meal, kcal\n**Lunch**, 450\nTea"},
             {"```js\nlet *a* = 1;\n```\nafter", "let *a* = 1;\n\nafter"},
             {"# Title &amp; more", "# Title & more"},
         })
        EXPECT_EQ(MarkdownPlainText::of(QString::fromStdString(markdown)).toStdString(), plain)
            << markdown;
}

} // namespace
