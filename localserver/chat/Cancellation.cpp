#include "chat/Cancellation.h"

#include <utility>

void Cancellation::cancel()
{
    std::function<void()> interrupt;
    {
        const std::lock_guard lock(mutex);
        isSet = true;
        interrupt = interruption;
    }
    cancelled.notify_all();
    if (interrupt)
        interrupt();
}

bool Cancellation::isCancelled() const
{
    const std::lock_guard lock(mutex);
    return isSet;
}

bool Cancellation::setInterruption(std::function<void()> interrupt)
{
    const std::lock_guard lock(mutex);
    if (isSet)
        return false;
    interruption = std::move(interrupt);
    return true;
}

void Cancellation::clearInterruption()
{
    const std::lock_guard lock(mutex);
    interruption = nullptr;
}

bool Cancellation::sleep(std::chrono::milliseconds duration)
{
    std::unique_lock lock(mutex);
    return !cancelled.wait_for(lock, duration, [this] { return isSet; });
}
