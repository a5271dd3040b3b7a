#include "voice/SpeechEcho.h"

#include <algorithm>
#include <cmath>

namespace {

// Speech is judged 10 ms at a time, whatever size of chunk the decoder hands over.
constexpr std::size_t windowSamples = SpeechEcho::sampleRate / 100;

std::size_t samplesIn(std::chrono::milliseconds duration)
{
    return static_cast<std::size_t>(duration.count()) * SpeechEcho::sampleRate / 1000;
}

double rootMeanSquare(std::span<const std::int16_t> samples)
{
    if (samples.empty())
        return 0;
    double sum = 0;
    for (const auto sample : samples) {
        const auto value = static_cast<double>(sample) / 32768.0;
        sum += value * value;
    }
    return std::sqrt(sum / static_cast<double>(samples.size()));
}

} // namespace

SpeechEcho::SpeechEcho(Limits limits_)
    : limits(limits_)
{}

void SpeechEcho::hear(std::span<const std::int16_t> samples)
{
    while (!samples.empty()) {
        const auto size = std::min(samples.size(), windowSamples);
        hearWindow(samples.first(size));
        samples = samples.subspan(size);
    }
}

void SpeechEcho::hearWindow(std::span<const std::int16_t> window)
{
    const bool speech = rootMeanSquare(window) > limits.speechLevel;
    if (!recording && !speech)
        return;
    recording = true;
    utterance.insert(utterance.end(), window.begin(), window.end());
    trailingSilence = speech ? 0 : trailingSilence + window.size();
    if (trailingSilence >= samplesIn(limits.endingSilence) ||
        utterance.size() >= samplesIn(limits.longestUtterance))
        finishUtterance();
}

void SpeechEcho::finishUtterance()
{
    // The silence that ended the utterance is not part of what was said.
    utterance.resize(utterance.size() - std::min(trailingSilence, utterance.size()));
    playback.insert(playback.end(), utterance.begin(), utterance.end());
    utterance.clear();
    trailingSilence = 0;
    recording = false;
}

void SpeechEcho::speak(std::span<std::int16_t> frame)
{
    const auto due = std::min(frame.size(), playback.size());
    std::copy_n(playback.begin(), due, frame.begin());
    playback.erase(playback.begin(), playback.begin() + static_cast<std::ptrdiff_t>(due));
    std::fill(frame.begin() + static_cast<std::ptrdiff_t>(due), frame.end(), std::int16_t{0});
}
