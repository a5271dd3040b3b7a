#include "DeltaSplitter.h"

#include <gtest/gtest.h>
#include <numeric>

namespace {

TEST(DeltaSplitter, PiecesJoinToTheTextByteForByte)
{
    for (const std::string text :
         {"", "one", "  leading and trailing  ", "Hello, world! How are you today?",
          "| a | b |\n|---|---|\n\n```json\n{\"x\": 1}\n```\n", "Grüße 👋 aus Köln\t\tmit Tabs",
          "\n\n\n"}) {
        const auto pieces = DeltaSplitter::split(text);
        EXPECT_EQ(std::accumulate(pieces.begin(), pieces.end(), std::string()), text) << text;
        for (const auto &piece : pieces)
            EXPECT_FALSE(piece.empty()) << text;
    }
}

TEST(DeltaSplitter, EachPieceHoldsAFewWords)
{
    const auto pieces = DeltaSplitter::split("a b c d e f g", 3);

    EXPECT_EQ(pieces, (std::vector<std::string>{"a b c ", "d e f ", "g"}));
    EXPECT_EQ(DeltaSplitter::split("a b", 0), (std::vector<std::string>{"a ", "b"}));
}

} // namespace
