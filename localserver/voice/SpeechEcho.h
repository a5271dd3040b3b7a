#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

// The voice agent's whole mind: it listens to the caller's audio, keeps what was said while the
// caller speaks, and says it back once when the caller falls silent. Audio is signed 16-bit mono
// at 48 kHz both ways. Not thread-safe: its owner serialises hearing and speaking.
class SpeechEcho
{
public:
    static constexpr int sampleRate = 48000;

    struct Limits
    {
        // Root mean square, as a fraction of full scale, above which a stretch counts as speech.
        // Opus silence decodes to near zero; a voice at a normal level is well above this.
        double speechLevel = 0.02;
        // Releasing the talk button leaves silence: this much of it ends an utterance.
        std::chrono::milliseconds endingSilence{400};
        // A caller who never stops gets the first part back rather than an ever-growing buffer.
        std::chrono::milliseconds longestUtterance{30000};
    };

    SpeechEcho() = default;
    explicit SpeechEcho(Limits limits);

    // Takes received audio of any length.
    void hear(std::span<const std::int16_t> samples);
    // Fills the frame with the next audio to send: the echo while one is due, silence otherwise,
    // so that the track keeps flowing.
    void speak(std::span<std::int16_t> frame);

    bool isRecording() const { return recording; }
    std::size_t pendingSamples() const { return playback.size(); }

private:
    void hearWindow(std::span<const std::int16_t> window);
    void finishUtterance();

    Limits limits;
    bool recording = false;
    std::vector<std::int16_t> utterance;
    std::size_t trailingSilence = 0;
    std::deque<std::int16_t> playback;
};
