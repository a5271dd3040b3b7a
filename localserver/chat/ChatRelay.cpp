#include "chat/ChatRelay.h"

#include <utility>

ChatRelay::ChatRelay(Work work)
{
    worker = std::thread([this, work = std::move(work)] {
        work([this](std::string event) { push(std::move(event)); }, cancellation);
        {
            const std::lock_guard lock(mutex);
            ended = true;
        }
        ready.notify_all();
    });
}

ChatRelay::~ChatRelay()
{
    cancel();
    worker.join();
}

std::deque<std::string> ChatRelay::take(const std::function<bool()> &stillWanted)
{
    std::unique_lock lock(mutex);
    while (events.empty() && !ended) {
        if (ready.wait_for(lock, checkInterval, [this] { return !events.empty() || ended; }))
            break;
        lock.unlock();
        const auto wanted = stillWanted();
        lock.lock();
        if (!wanted) {
            lock.unlock();
            cancel();
            return {};
        }
    }
    return std::exchange(events, {});
}

bool ChatRelay::hasEnded() const
{
    const std::lock_guard lock(mutex);
    return ended && events.empty();
}

void ChatRelay::cancel()
{
    cancellation.cancel();
}

void ChatRelay::push(std::string event)
{
    {
        const std::lock_guard lock(mutex);
        events.push_back(std::move(event));
    }
    ready.notify_all();
}
