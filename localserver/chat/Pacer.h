#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// Paces streamed replies, and cuts every pause short once the server stops, so that stopping
// never waits for a slow stream to finish.
class Pacer
{
public:
    explicit Pacer(std::chrono::milliseconds beat);

    // Waits that many beats; false when the server stopped meanwhile (or before).
    bool pause(int beats = 1);
    void stop();
    bool isStopped();

private:
    const std::chrono::milliseconds beat;
    std::mutex mutex;
    std::condition_variable stopped;
    bool hasStopped = false;
};
