#include "chat/ChatRelay.h"

#include <utility>

ChatRelay::ChatRelay(Work work)
{
    worker = std::thread([this, work = std::move(work)] {
        try {
            work([this](std::string event) { push(std::move(event)); }, cancellation);
        } catch (...) {
            // Whatever went wrong, the reply ends here; the process goes on.
        }
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
    // An interruption just before the reply's request went out misses it: interrupt again until
    // the reply has ended.
    std::unique_lock lock(mutex);
    while (!ready.wait_for(lock, checkInterval, [this] { return ended; })) {
        lock.unlock();
        cancel();
        lock.lock();
    }
    lock.unlock();
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
    auto batch = std::exchange(events, {});
    lock.unlock();
    taken.notify_all();
    return batch;
}

bool ChatRelay::hasEnded() const
{
    const std::lock_guard lock(mutex);
    return ended && events.empty();
}

void ChatRelay::cancel()
{
    cancellation.cancel();
    // Under the lock, so that a reply about to wait for room cannot miss it.
    const std::lock_guard lock(mutex);
    taken.notify_all();
}

void ChatRelay::push(std::string event)
{
    {
        std::unique_lock lock(mutex);
        taken.wait(lock,
                   [this] { return events.size() < maximumWaiting || cancellation.isCancelled(); });
        if (cancellation.isCancelled())
            return;
        events.push_back(std::move(event));
    }
    ready.notify_all();
}
