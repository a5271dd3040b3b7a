#include "net/LineSplitter.h"

#include <cstddef>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

void takeLines(LineSplitter &splitter, Lines &lines)
{
    while (const auto line = splitter.nextLine())
        lines.emplace_back(*line);
}

Lines splitChunks(const std::vector<std::string_view> &chunks,
                  std::size_t limit = LineSplitter::defaultMaxLineLength)
{
    LineSplitter splitter(limit);
    Lines lines;
    for (const std::string_view chunk : chunks) {
        splitter.append(chunk);
        takeLines(splitter, lines);
    }
    splitter.finish();
    takeLines(splitter, lines);
    return lines;
}

Lines splitEvery(std::string_view body, std::size_t chunkSize,
                 std::size_t limit = LineSplitter::defaultMaxLineLength)
{
    std::vector<std::string_view> chunks;
    for (std::size_t offset = 0; offset < body.size(); offset += chunkSize)
        chunks.push_back(body.substr(offset, chunkSize));
    return splitChunks(chunks, limit);
}

struct BodyCase
{
    std::string_view body;
    Lines lines;
};

void PrintTo(const BodyCase &bodyCase, std::ostream *out)
{
    *out << testing::PrintToString(std::string(bodyCase.body));
}

class LineSplitterBodies : public testing::TestWithParam<BodyCase>
{};

} // namespace

TEST_P(LineSplitterBodies, SameLinesWhereverTheBodyIsCut)
{
    const BodyCase &bodyCase = GetParam();
    EXPECT_EQ(splitChunks({bodyCase.body}), bodyCase.lines);
    EXPECT_EQ(splitEvery(bodyCase.body, 1), bodyCase.lines);
    for (std::size_t cut = 0; cut <= bodyCase.body.size(); ++cut) {
        EXPECT_EQ(splitChunks({bodyCase.body.substr(0, cut), bodyCase.body.substr(cut)}),
                  bodyCase.lines)
            << "cut at " << cut;
    }
}

INSTANTIATE_TEST_SUITE_P(
    LineEndings, LineSplitterBodies,
    testing::Values(BodyCase{"event: a\ndata: {}\n\n", {"event: a", "data: {}", ""}},
                    BodyCase{"event: a\r\ndata: {}\r\n\r\n", {"event: a", "data: {}", ""}},
                    BodyCase{"event: a\rdata: {}\r\r", {"event: a", "data: {}", ""}},
                    BodyCase{"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
                    BodyCase{"a\n\rb", {"a", "", "b"}}, BodyCase{"a\r\r\nb", {"a", "", "b"}},
                    BodyCase{"\n\n", {"", ""}}, BodyCase{"\r\n", {""}}, BodyCase{"\r", {""}},
                    BodyCase{"", {}}, BodyCase{"no terminator", {"no terminator"}},
                    BodyCase{"last\r", {"last"}},
                    BodyCase{"caf\xC3\xA9\n\xF0\x9F\x99\x82", {"caf\xC3\xA9", "\xF0\x9F\x99\x82"}},
                    BodyCase{std::string_view("nul\0byte\n", 9), {std::string("nul\0byte", 8)}}));

TEST(LineSplitter, LineIsHandedOutAsSoonAsItsTerminatorArrives)
{
    LineSplitter splitter;
    splitter.append("data: {\"delta\":\"Hel");
    EXPECT_FALSE(splitter.nextLine());
    splitter.append("lo\"}\nevent: con");
    EXPECT_EQ(splitter.nextLine(), "data: {\"delta\":\"Hello\"}");
    EXPECT_FALSE(splitter.nextLine());
}

TEST(LineSplitter, CarriageReturnEndsTheLineWithoutWaitingForTheNextChunk)
{
    LineSplitter splitter;
    splitter.append("first\r");
    EXPECT_EQ(splitter.nextLine(), "first");
    splitter.append("\nsecond\n");
    EXPECT_EQ(splitter.nextLine(), "second");
    EXPECT_FALSE(splitter.nextLine());
}

TEST(LineSplitter, MultiByteCharacterSplitAcrossChunksArrivesWhole)
{
    EXPECT_EQ(splitChunks({"data: caf\xC3", "\xA9 \xE6\x97", "\xA5\n"}),
              Lines{"data: caf\xC3\xA9 \xE6\x97\xA5"});
}

TEST(LineSplitter, FinalLineWithoutTerminatorWaitsForTheEndOfTheBody)
{
    LineSplitter splitter;
    splitter.append("data: {}");
    EXPECT_FALSE(splitter.nextLine());
    splitter.finish();
    EXPECT_EQ(splitter.nextLine(), "data: {}");
    EXPECT_FALSE(splitter.nextLine());
}

TEST(LineSplitter, TenMegabyteLineIsAnOrdinaryLine)
{
    const std::string line = "data: {\"delta\":\"" + std::string(10'000'000, 'x') + "\"}";
    const Lines lines = splitEvery(line + "\nevent: next\n", 4096);
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_EQ(lines[0], line);
    EXPECT_EQ(lines[1], "event: next");
}

TEST(LineSplitter, LineOverTheDefaultLimitIsSkippedAndLaterLinesArrive)
{
    const std::string overlong(LineSplitter::defaultMaxLineLength + 1, 'x');
    EXPECT_EQ(splitEvery(overlong + "\r\ndata: {}\n", 64 * 1024), Lines{"data: {}"});
    EXPECT_EQ(splitChunks({overlong + "\ndata: {}\n"}), Lines{"data: {}"});
}

TEST(LineSplitter, LimitKeepsLinesOfExactlyItsLength)
{
    EXPECT_EQ(splitEvery("12345678\n123456789\nend", 3, 8), (Lines{"12345678", "end"}));
    EXPECT_EQ(splitEvery("ok\n123456789", 4, 8), Lines{"ok"});
    EXPECT_EQ(splitChunks({"ok\n123456789"}, 8), Lines{"ok"});
}

TEST(LineSplitter, SkippedLineEndingInCarriageReturnSwallowsTheLineFeedAfterIt)
{
    EXPECT_EQ(splitChunks({"123456789\r", "\nnext\n"}, 8), Lines{"next"});
    EXPECT_EQ(splitChunks({"1234", "56789\r", "\n", "\n"}, 8), Lines{""});
}

TEST(LineSplitter, ManyCarriageReturnLinesInOneChunkTakeLinearTime)
{
    std::string body;
    for (int i = 0; i < 1'000'000; ++i)
        body += "l\r";
    const Lines lines = splitChunks({body});
    EXPECT_EQ(lines.size(), 1'000'000U);
    EXPECT_EQ(lines.back(), "l");
}
