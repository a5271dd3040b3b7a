#include "net/LineSplitter.h"

#include <cstddef>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

Lines split(const std::vector<std::string_view> &chunks,
            std::size_t limit = LineSplitter::defaultMaxLineLength)
{
    LineSplitter splitter(limit);
    Lines lines;
    const auto takeLines = [&] {
        while (const auto line = splitter.nextLine())
            lines.emplace_back(*line);
    };
    for (const std::string_view chunk : chunks) {
        splitter.append(chunk);
        takeLines();
    }
    splitter.finish();
    takeLines();
    return lines;
}

} // namespace

TEST(LineSplitter, SameLinesWhereverTheBodyIsCut)
{
    const std::pair<std::string_view, Lines> cases[] = {
        {"event: a\r\ndata: {}\r\n\r\n", {"event: a", "data: {}", ""}},
        {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
        {"a\n\rb\r\r\nc\n\n", {"a", "", "b", "", "c", ""}},
        {"last\r", {"last"}},
        {"", {}},
        {"caf\xC3\xA9\n\xF0\x9F\x99\x82", {"caf\xC3\xA9", "\xF0\x9F\x99\x82"}},
        {std::string_view("nul\0byte\n", 9), {std::string("nul\0byte", 8)}},
    };
    for (const auto &[body, lines] : cases) {
        std::vector<std::string_view> bytes;
        for (std::size_t at = 0; at < body.size(); ++at)
            bytes.push_back(body.substr(at, 1));
        EXPECT_EQ(split(bytes), lines) << testing::PrintToString(std::string(body));
        for (std::size_t cut = 0; cut <= body.size(); ++cut)
            EXPECT_EQ(split({body.substr(0, cut), body.substr(cut)}), lines) << "cut at " << cut;
    }
}

TEST(LineSplitter, LineOverTheLimitIsSkippedUpToItsTerminator)
{
    EXPECT_EQ(split({"1234567", "8\n1234", "56789\nend"}, 8), (Lines{"12345678", "end"}));
    EXPECT_EQ(split({"1234", "56789\r", "\n", "\n"}, 8), Lines{""});
    EXPECT_EQ(split({"ok\n123456789"}, 8), Lines{"ok"});
    const std::string overlong(LineSplitter::defaultMaxLineLength + 1, 'x');
    EXPECT_EQ(split({overlong + "\r", "\ndata: {}\n"}), Lines{"data: {}"});
}

// Each byte is searched once: a quadratic splitter would not finish within the test's time limit.
TEST(LineSplitter, LongLinesAndManyShortOnesTakeLinearTime)
{
    EXPECT_EQ(split({std::string(1'000'000, '\r')}).size(), 1'000'000U);
    LineSplitter splitter;
    for (int i = 0; i < 2500; ++i)
        splitter.append(std::string(4096, 'x'));
    splitter.append("\n");
    EXPECT_EQ(splitter.nextLine()->size(), 2500U * 4096U);
}
