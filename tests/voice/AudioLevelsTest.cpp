#include "voice/AudioLevels.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace {

// For lengths around the width of the partial sums, so that both the bulk loop and the tail run:
// the float, 16-bit and raw little-endian forms agree and match the exact root mean square.
TEST(AudioLevelCalculator, AllFormsAgreeWithTheExactRootMeanSquare)
{
    for (const std::size_t count : {1U, 15U, 16U, 17U, 33U, 1023U, 48001U}) {
        std::vector<std::int16_t> samples(count);
        std::vector<float> normalised;
        // One byte in, so the raw form reads from an address that is not 16-bit aligned.
        std::vector<std::byte> raw{std::byte{0x55}};
        double sum = 0;
        std::uint32_t state = 12345;
        for (auto &sample : samples) {
            state = state * 1664525u + 1013904223u;
            sample = static_cast<std::int16_t>(state >> 16);
            normalised.push_back(static_cast<float>(sample) / 32767.0f);
            raw.push_back(static_cast<std::byte>(static_cast<std::uint16_t>(sample) & 0xFF));
            raw.push_back(static_cast<std::byte>(static_cast<std::uint16_t>(sample) >> 8));
            sum += (sample / 32767.0) * (sample / 32767.0);
        }
        raw.push_back(std::byte{0x7F}); // an odd trailing byte is ignored

        const float level = AudioLevelCalculator::calculateLevel(samples, 0.5f);
        EXPECT_NEAR(level, 0.5 * std::sqrt(sum / static_cast<double>(count)), 1e-6) << count;
        EXPECT_EQ(AudioLevelCalculator::calculateLevel(normalised, 0.5f), level) << count;
        EXPECT_EQ(AudioLevelCalculator::calculateLevel(std::span(raw).subspan(1), 0.5f), level)
            << count;
    }
}

TEST(AudioLevelCalculator, EmptyReadsZeroAndFullScaleReadsExactlyOneWhateverTheGain)
{
    const std::vector<std::int16_t> square{32767, -32767, 32767, -32767};
    EXPECT_EQ(AudioLevelCalculator::calculateLevel(std::span<const std::int16_t>(), 1.0f), 0.0f);
    EXPECT_EQ(AudioLevelCalculator::calculateLevel(std::vector{std::byte{0x7F}}, 1.0f), 0.0f);
    EXPECT_EQ(AudioLevelCalculator::calculateLevel(square, 1.0f), 1.0f);
    EXPECT_EQ(AudioLevelCalculator::calculateLevel(square, 2.0f), 1.0f);
}

TEST(AudioLevelSmoother, RisesAtOnceFallsByAtMostTheDecayAndStaysAliveWhileSpeaking)
{
    EXPECT_FLOAT_EQ(AudioLevelSmoother::smooth(0.2f, 0.8f, 0.1f), 0.8f);
    EXPECT_FLOAT_EQ(AudioLevelSmoother::smooth(0.8f, 0.2f, 0.1f), 0.7f);
    EXPECT_FLOAT_EQ(AudioLevelSmoother::smooth(0.8f, 0.75f, 0.1f), 0.75f);
    EXPECT_EQ(AudioLevelSmoother::targetLevel(0.9f, false, 0.1f), 0.0f);
    EXPECT_EQ(AudioLevelSmoother::targetLevel(0.05f, true, 0.1f), 0.1f);
    EXPECT_EQ(AudioLevelSmoother::targetLevel(0.5f, true, 0.1f), 0.5f);
}

} // namespace
