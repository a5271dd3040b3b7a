#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

// Ends the work of one reply from another thread: waits return early, and whatever the work
// registered to interrupt (a request in flight) runs at once.
class Cancellation
{
public:
    // Interrupts again when called again: an interruption that came before the request it
    // interrupts was under way may have missed it.
    void cancel();
    bool isCancelled() const;

    // Runs the interruption now if already cancelled; otherwise on cancel, until cleared.
    // Returns false when already cancelled.
    bool setInterruption(std::function<void()> interrupt);
    void clearInterruption();

    // Waits that long; false when cancelled first.
    bool sleep(std::chrono::milliseconds duration);

private:
    mutable std::mutex mutex;
    std::condition_variable cancelled;
    std::function<void()> interruption;
    bool isSet = false;
};
