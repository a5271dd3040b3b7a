#include "voice/AudioLevels.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

namespace {

constexpr float int16FullScale = 32767.0f;

// Float addition is not associative, so a single running sum forces the compiler to add one
// sample at a time. Independent partial sums let it keep several vector registers in flight.
constexpr std::size_t accumulatorCount = 16;

// Sum of the squares of sampleAt(0) ... sampleAt(count - 1), in 32-bit floats.
template<typename SampleAt> float sumOfSquares(std::size_t count, SampleAt sampleAt)
{
    std::array<float, accumulatorCount> partial{};
    std::size_t index = 0;
    for (; index + accumulatorCount <= count; index += accumulatorCount) {
        // Unrolled so that the partial sums live in registers at -O2 as well as at -O3.
#pragma GCC unroll 16
        for (std::size_t lane = 0; lane < accumulatorCount; ++lane) {
            const float sample = sampleAt(index + lane);
            partial[lane] += sample * sample;
        }
    }
    for (std::size_t lane = 0; index < count; ++index, ++lane) {
        const float sample = sampleAt(index);
        partial[lane] += sample * sample;
    }
    // Fold the partial sums pairwise into one.
    for (std::size_t width = accumulatorCount / 2; width > 0; width /= 2) {
        for (std::size_t lane = 0; lane < width; ++lane)
            partial[lane] += partial[lane + width];
    }
    return partial[0];
}

float levelFromSumOfSquares(float sum, std::size_t count, float amplification)
{
    const float rms = std::sqrt(sum / static_cast<float>(count));
    return std::min(amplification * rms, 1.0f);
}

float normalised(std::int16_t sample)
{
    return static_cast<float>(sample) / int16FullScale;
}

} // namespace

namespace AudioLevelCalculator {

float calculateLevel(std::span<const float> samples, float amplification)
{
    if (samples.empty())
        return 0.0f;
    const float sum = sumOfSquares(samples.size(), [samples](std::size_t i) { return samples[i]; });
    return levelFromSumOfSquares(sum, samples.size(), amplification);
}

float calculateLevel(std::span<const std::int16_t> samples, float amplification)
{
    if (samples.empty())
        return 0.0f;
    const float sum =
        sumOfSquares(samples.size(), [samples](std::size_t i) { return normalised(samples[i]); });
    return levelFromSumOfSquares(sum, samples.size(), amplification);
}

float calculateLevel(std::span<const std::byte> int16Data, float amplification)
{
    const std::size_t count = int16Data.size() / sizeof(std::int16_t);
    if (count == 0)
        return 0.0f;
    const auto *bytes = int16Data.data();
    const float sum = sumOfSquares(count, [bytes](std::size_t i) {
        // Copied rather than cast: the buffer need not be aligned for int16. The copy compiles to
        // a plain (vector) load.
        std::uint16_t bits = 0;
        std::memcpy(&bits, bytes + 2 * i, sizeof bits);
        if constexpr (std::endian::native == std::endian::big)
            bits = static_cast<std::uint16_t>(bits >> 8 | bits << 8);
        return normalised(std::bit_cast<std::int16_t>(bits));
    });
    return levelFromSumOfSquares(sum, count, amplification);
}

} // namespace AudioLevelCalculator

namespace AudioLevelSmoother {

float smooth(float currentLevel, float targetLevel, float decayRate)
{
    const float floorOfFall = currentLevel - decayRate;
    if (targetLevel < currentLevel && !(targetLevel > floorOfFall))
        return floorOfFall;
    return targetLevel;
}

float targetLevel(float rawLevel, bool isSpeaking, float minimumLevel)
{
    if (!isSpeaking)
        return 0.0f;
    return std::max(rawLevel, minimumLevel);
}

} // namespace AudioLevelSmoother

namespace AudioBufferHelper {

std::int64_t sampleCountFromInt16Data(std::span<const std::byte> data)
{
    return static_cast<std::int64_t>(
        data.size() / static_cast<std::size_t>(AudioFormatConstants::bytesPerInt16Sample));
}

std::int64_t sampleCountFromFloat32Data(std::span<const std::byte> data)
{
    return static_cast<std::int64_t>(
        data.size() / static_cast<std::size_t>(AudioFormatConstants::bytesPerFloat32Sample));
}

std::int64_t calculateOutputFrameCount(std::int64_t inputFrames, double inputSampleRate,
                                       double outputSampleRate)
{
    return static_cast<std::int64_t>(outputSampleRate / inputSampleRate *
                                     static_cast<double>(inputFrames));
}

double duration(std::int64_t sampleCount, double sampleRate)
{
    return static_cast<double>(sampleCount) / sampleRate;
}

double durationFromInt16Data(std::span<const std::byte> data, double sampleRate)
{
    return duration(sampleCountFromInt16Data(data), sampleRate);
}

} // namespace AudioBufferHelper
