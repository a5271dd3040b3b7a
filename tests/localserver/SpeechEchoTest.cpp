#include "voice/SpeechEcho.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr std::size_t ms = SpeechEcho::sampleRate / 1000;

std::vector<std::int16_t> loud(std::size_t milliseconds)
{
    std::vector<std::int16_t> samples(milliseconds * ms);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = i % 2 == 0 ? 8000 : -8000;
    return samples;
}

std::vector<std::int16_t> quiet(std::size_t milliseconds)
{
    return std::vector<std::int16_t>(milliseconds * ms, 0);
}

TEST(SpeechEcho, UtteranceComesBackOnceAfterItsEndingSilence)
{
    SpeechEcho echo;
    echo.hear(quiet(100));
    echo.hear(loud(300));
    echo.hear(quiet(200));
    echo.hear(loud(100));
    echo.hear(quiet(390));
    EXPECT_TRUE(echo.isRecording());
    EXPECT_EQ(echo.pendingSamples(), 0u);

    echo.hear(quiet(20));
    // The short pause stays inside; the silence that ended it does not come back.
    EXPECT_EQ(echo.pendingSamples(), 600 * ms);
    std::vector<std::int16_t> frame(700 * ms);
    echo.speak(frame);
    EXPECT_EQ(frame[0], 8000);
    EXPECT_TRUE(std::all_of(frame.begin() + 600 * ms, frame.end(), [](auto s) { return s == 0; }));
    EXPECT_EQ(echo.pendingSamples(), 0u);
}

TEST(SpeechEcho, EndlessSpeechIsCutAtTheLongestUtterance)
{
    SpeechEcho echo({.longestUtterance = std::chrono::milliseconds(500)});
    echo.hear(loud(1200));
    EXPECT_EQ(echo.pendingSamples(), 1000 * ms);
    EXPECT_TRUE(echo.isRecording());
}

} // namespace
