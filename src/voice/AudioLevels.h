#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// The fixed audio format of the voice path and the arithmetic of its level meters. Everything here
// is a pure function over caller-owned buffers: no state, no allocation, no platform service.

// Kept as the home of audio session plumbing; the level arithmetic needs none.
namespace AudioManager {}

namespace AudioFormatConstants {
inline constexpr double openAISampleRate = 24000.0;
inline constexpr int monoChannels = 1;
inline constexpr int bytesPerInt16Sample = 2;
inline constexpr int bytesPerFloat32Sample = 4;
} // namespace AudioFormatConstants

namespace AudioLevelCalculator {
// Root-mean-square level of the buffer times the gain, capped at 1. An empty buffer reads 0. There
// is deliberately no lower clamp, so a negative gain gives a negative level.
float calculateLevel(std::span<const float> samples, float amplification);
// Samples are normalised by 32767 so that full scale reads exactly 1; -32768 reads just below -1.
float calculateLevel(std::span<const std::int16_t> samples, float amplification);
// Raw little-endian 16-bit PCM as it arrives from the wire; an odd trailing byte is ignored.
float calculateLevel(std::span<const std::byte> int16Data, float amplification);
} // namespace AudioLevelCalculator

namespace AudioLevelSmoother {
// A rise is shown at once; a fall is limited to decayRate per call so the meter sinks smoothly.
float smooth(float currentLevel, float targetLevel, float decayRate);
// Silence while not speaking; while speaking never below the floor, so the meter stays alive.
float targetLevel(float rawLevel, bool isSpeaking, float minimumLevel);
} // namespace AudioLevelSmoother

namespace AudioBufferHelper {
std::int64_t sampleCountFromInt16Data(std::span<const std::byte> data);
std::int64_t sampleCountFromFloat32Data(std::span<const std::byte> data);
// Truncates toward zero. The caller keeps the result within the 64-bit range.
std::int64_t calculateOutputFrameCount(std::int64_t inputFrames, double inputSampleRate,
                                       double outputSampleRate);
double duration(std::int64_t sampleCount, double sampleRate);
double durationFromInt16Data(std::span<const std::byte> data, double sampleRate);
} // namespace AudioBufferHelper
