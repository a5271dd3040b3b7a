#include "chat/Pacer.h"

Pacer::Pacer(std::chrono::milliseconds beat_)
    : beat(beat_)
{}

bool Pacer::pause(int beats)
{
    std::unique_lock lock(mutex);
    return !stopped.wait_for(lock, beat * beats, [this] { return hasStopped; });
}

void Pacer::stop()
{
    {
        const std::lock_guard lock(mutex);
        hasStopped = true;
    }
    stopped.notify_all();
}

bool Pacer::isStopped()
{
    const std::lock_guard lock(mutex);
    return hasStopped;
}
