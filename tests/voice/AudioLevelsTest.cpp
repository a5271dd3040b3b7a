#include "voice/AudioLevels.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <initializer_list>
#include <ostream>
#include <span>
#include <vector>

namespace {

std::vector<std::byte> bytes(std::initializer_list<int> values)
{
    std::vector<std::byte> result;
    for (int value : values)
        result.push_back(static_cast<std::byte>(value));
    return result;
}

std::vector<std::byte> littleEndianBytes(std::span<const std::int16_t> samples)
{
    std::vector<std::byte> result;
    for (std::int16_t sample : samples) {
        const auto bits = static_cast<std::uint16_t>(sample);
        result.push_back(static_cast<std::byte>(bits & 0xFF));
        result.push_back(static_cast<std::byte>(bits >> 8));
    }
    return result;
}

// Deterministic samples covering the whole 16-bit range, -32768 included.
std::vector<std::int16_t> sweep(std::size_t count)
{
    std::vector<std::int16_t> samples(count);
    std::uint32_t state = 12345;
    for (auto &sample : samples) {
        state = state * 1664525u + 1013904223u;
        sample = static_cast<std::int16_t>(state >> 16);
    }
    return samples;
}

float referenceLevel(std::span<const std::int16_t> samples)
{
    double sum = 0;
    for (std::int16_t sample : samples)
        sum += (sample / 32767.0) * (sample / 32767.0);
    return static_cast<float>(std::sqrt(sum / static_cast<double>(samples.size())));
}

} // namespace

TEST(AudioLevelCalculator, EmptyBuffersReadZero)
{
    EXPECT_EQ(AudioLevelCalculator::calculateLevel(std::span<const float>(), 1.0f), 0.0f);
    EXPECT_EQ(AudioLevelCalculator::calculateLevel(std::span<const std::int16_t>(), 1.0f), 0.0f);
    EXPECT_EQ(AudioLevelCalculator::calculateLevel(std::span<const std::byte>(), 1.0f), 0.0f);
    EXPECT_EQ(AudioLevelCalculator::calculateLevel(bytes({0x7F}), 1.0f), 0.0f);
}

TEST(AudioLevelCalculator, FullScaleSquareWaveReadsExactlyOneAndGainCannotLiftIt)
{
    const std::vector<std::int16_t> square = {32767, -32767, 32767, -32767, 32767, -32767};
    EXPECT_EQ(AudioLevelCalculator::calculateLevel(square, 1.0f), 1.0f);
    EXPECT_EQ(AudioLevelCalculator::calculateLevel(square, 2.0f), 1.0f);
    EXPECT_EQ(AudioLevelCalculator::calculateLevel(littleEndianBytes(square), 1.0f), 1.0f);
}

TEST(AudioLevelCalculator, FloatLevelIsRootMeanSquareTimesGain)
{
    const std::vector<float> steady = {0.75f, -0.75f, 0.75f, -0.75f};
    EXPECT_EQ(AudioLevelCalculator::calculateLevel(steady, 1.0f), 0.75f);
    const std::vector<float> click = {1.0f, 0.0f, 0.0f, 0.0f};
    EXPECT_EQ(AudioLevelCalculator::calculateLevel(click, 1.0f), 0.5f);
    EXPECT_EQ(AudioLevelCalculator::calculateLevel(click, 1.5f), 0.75f);
    EXPECT_EQ(AudioLevelCalculator::calculateLevel(click, 4.0f), 1.0f);
}

TEST(AudioLevelCalculator, NegativeGainGivesNegativeLevel)
{
    const std::vector<float> click = {1.0f, 0.0f, 0.0f, 0.0f};
    EXPECT_EQ(AudioLevelCalculator::calculateLevel(click, -2.0f), -1.0f);
    const std::vector<std::int16_t> quiet = {16384};
    EXPECT_FLOAT_EQ(AudioLevelCalculator::calculateLevel(quiet, -1.0f), -16384.0f / 32767.0f);
}

TEST(AudioLevelCalculator, SixteenBitSamplesAreDividedBy32767)
{
    // 16384/32767 and 16384/32768 differ by far more than a few float steps.
    const std::vector<std::int16_t> half = {16384, -16384};
    EXPECT_FLOAT_EQ(AudioLevelCalculator::calculateLevel(half, 1.0f), 16384.0f / 32767.0f);
}

TEST(AudioLevelCalculator, MostNegativeSampleNormalisesSlightlyBelowMinusOne)
{
    const std::vector<std::int16_t> lowest = {-32768};
    EXPECT_FLOAT_EQ(AudioLevelCalculator::calculateLevel(lowest, -1.0f), -32768.0f / 32767.0f);
    EXPECT_LT(AudioLevelCalculator::calculateLevel(lowest, -1.0f), -1.0f);
    EXPECT_EQ(AudioLevelCalculator::calculateLevel(lowest, 1.0f), 1.0f);
}

TEST(AudioLevelCalculator, RawBytesAreLittleEndianSixteenBitSamples)
{
    EXPECT_FLOAT_EQ(AudioLevelCalculator::calculateLevel(bytes({0x00, 0x40}), 1.0f),
                    16384.0f / 32767.0f);
    EXPECT_EQ(AudioLevelCalculator::calculateLevel(bytes({0xFF, 0x7F}), 1.0f), 1.0f);
    EXPECT_FLOAT_EQ(AudioLevelCalculator::calculateLevel(bytes({0x00, 0x80}), -1.0f),
                    -32768.0f / 32767.0f);
}

TEST(AudioLevelCalculator, OddTrailingByteIsIgnored)
{
    const auto even = bytes({0x00, 0x40, 0x00, 0x00});
    const auto odd = bytes({0x00, 0x40, 0x00, 0x00, 0x7F});
    EXPECT_EQ(AudioLevelCalculator::calculateLevel(odd, 1.0f),
              AudioLevelCalculator::calculateLevel(even, 1.0f));
    EXPECT_EQ(AudioLevelCalculator::calculateLevel(bytes({0x00, 0x40, 0x7F}), 1.0f),
              AudioLevelCalculator::calculateLevel(bytes({0x00, 0x40}), 1.0f));
}

class AudioLevelLengths : public ::testing::TestWithParam<std::size_t>
{};

// Lengths around the width of the partial sums, so both the bulk loop and the tail are exercised.
INSTANTIATE_TEST_SUITE_P(AudioLevelCalculator, AudioLevelLengths,
                         ::testing::Values(1, 2, 15, 16, 17, 31, 33, 100, 1023, 4096, 48001));

TEST_P(AudioLevelLengths, AllThreeFormsAgreeAndMatchTheExactRootMeanSquare)
{
    const auto samples = sweep(GetParam());
    std::vector<float> normalised;
    for (std::int16_t sample : samples)
        normalised.push_back(static_cast<float>(sample) / 32767.0f);
    // One byte in, so the raw form reads from an address that is not 16-bit aligned.
    auto misaligned = bytes({0x55});
    const auto wire = littleEndianBytes(samples);
    misaligned.insert(misaligned.end(), wire.begin(), wire.end());
    const auto raw = std::span<const std::byte>(misaligned).subspan(1);

    const float fromInt16 = AudioLevelCalculator::calculateLevel(samples, 0.5f);
    EXPECT_EQ(AudioLevelCalculator::calculateLevel(normalised, 0.5f), fromInt16);
    EXPECT_EQ(AudioLevelCalculator::calculateLevel(raw, 0.5f), fromInt16);
    EXPECT_NEAR(fromInt16, 0.5f * referenceLevel(samples), 1e-6f);
}

struct SmoothCase
{
    float currentLevel;
    float targetLevel;
    float decayRate;
    float expected;
};

void PrintTo(const SmoothCase &c, std::ostream *out)
{
    *out << c.currentLevel << " towards " << c.targetLevel << " by " << c.decayRate;
}

class AudioLevelSmoothing : public ::testing::TestWithParam<SmoothCase>
{};

INSTANTIATE_TEST_SUITE_P(AudioLevelSmoother, AudioLevelSmoothing,
                         ::testing::Values(SmoothCase{0.8f, 0.2f, 0.1f, 0.7f},   // fall is limited
                                           SmoothCase{0.2f, 0.8f, 0.1f, 0.8f},   // rise is instant
                                           SmoothCase{0.8f, 0.75f, 0.1f, 0.75f}, // small fall taken
                                           SmoothCase{0.5f, 0.5f, 0.1f, 0.5f},   // steady
                                           SmoothCase{0.3f, 0.0f, 0.1f, 0.2f},
                                           SmoothCase{0.05f, 0.0f, 0.1f, 0.0f}));

TEST_P(AudioLevelSmoothing, RisesAtOnceAndFallsByAtMostTheDecayRate)
{
    const auto &c = GetParam();
    EXPECT_FLOAT_EQ(AudioLevelSmoother::smooth(c.currentLevel, c.targetLevel, c.decayRate),
                    c.expected);
}

TEST(AudioLevelSmoother, FallIsNotClampedAtZero)
{
    // The step is taken in full even past zero: the smoother does not clamp, callers do.
    EXPECT_FLOAT_EQ(AudioLevelSmoother::smooth(0.05f, -1.0f, 0.1f), -0.05f);
}

TEST(AudioLevelSmoother, TargetLevelIsSilentWhenInactiveAndFlooredWhenActive)
{
    EXPECT_EQ(AudioLevelSmoother::targetLevel(0.9f, false, 0.1f), 0.0f);
    EXPECT_EQ(AudioLevelSmoother::targetLevel(0.05f, true, 0.1f), 0.1f);
    EXPECT_EQ(AudioLevelSmoother::targetLevel(0.5f, true, 0.1f), 0.5f);
}

TEST(AudioFormatConstants, VoicePathIsMono24kHzPcm)
{
    EXPECT_EQ(AudioFormatConstants::openAISampleRate, 24000.0);
    EXPECT_EQ(AudioFormatConstants::monoChannels, 1);
    EXPECT_EQ(AudioFormatConstants::bytesPerInt16Sample, 2);
    EXPECT_EQ(AudioFormatConstants::bytesPerFloat32Sample, 4);
}

TEST(AudioBufferHelper, SampleCountsDiscardPartialSamples)
{
    const std::vector<std::byte> seven(7);
    EXPECT_EQ(AudioBufferHelper::sampleCountFromInt16Data(seven), 3);
    EXPECT_EQ(AudioBufferHelper::sampleCountFromFloat32Data(seven), 1);
    const std::vector<std::byte> three(3);
    EXPECT_EQ(AudioBufferHelper::sampleCountFromFloat32Data(three), 0);
    EXPECT_EQ(AudioBufferHelper::sampleCountFromInt16Data(std::span<const std::byte>()), 0);
}

TEST(AudioBufferHelper, OutputFrameCountScalesByRateRatioAndTruncatesTowardZero)
{
    EXPECT_EQ(AudioBufferHelper::calculateOutputFrameCount(480, 48000.0, 24000.0), 240);
    EXPECT_EQ(AudioBufferHelper::calculateOutputFrameCount(481, 48000.0, 24000.0), 240);
    EXPECT_EQ(AudioBufferHelper::calculateOutputFrameCount(240, 24000.0, 48000.0), 480);
    EXPECT_EQ(AudioBufferHelper::calculateOutputFrameCount(-3, 48000.0, 24000.0), -1);
}

TEST(AudioBufferHelper, DurationIsSamplesOverRate)
{
    EXPECT_EQ(AudioBufferHelper::duration(12000, 24000.0), 0.5);
    const std::vector<std::byte> oneSecondAndAByte(48001);
    EXPECT_EQ(AudioBufferHelper::durationFromInt16Data(oneSecondAndAByte, 24000.0), 1.0);
}
