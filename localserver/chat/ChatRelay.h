#pragma once

#include "chat/Cancellation.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// Runs one reply on a thread of its own and hands its events to the connection that writes them,
// each as soon as it is ready. The connection, for its part, keeps asking whether its client is
// still there, so that a reply nobody reads stops at once, even while the model is silent.
class ChatRelay
{
public:
    using Emit = std::function<void(std::string event)>;
    using Work = std::function<void(const Emit &emit, Cancellation &cancellation)>;

    // How long to wait for an event before asking again whether the client is still there.
    static constexpr std::chrono::milliseconds checkInterval{100};
    // Events waiting for a slow client; the reply waits while this many are.
    static constexpr std::size_t maximumWaiting = 1024;

    explicit ChatRelay(Work work);
    // Cancels the reply and waits for its thread.
    ~ChatRelay();
    ChatRelay(const ChatRelay &) = delete;
    ChatRelay &operator=(const ChatRelay &) = delete;

    // The events ready now, waiting for at least one; empty once the reply has ended and every
    // event was taken, or when stillWanted, asked while waiting, says no, which cancels the reply.
    std::deque<std::string> take(const std::function<bool()> &stillWanted);
    bool hasEnded() const;
    void cancel();

private:
    void push(std::string event);

    Cancellation cancellation;
    mutable std::mutex mutex;
    std::condition_variable ready;
    std::condition_variable taken;
    std::deque<std::string> events;
    bool ended = false;
    std::thread worker;
};
