#pragma once

#include <memory>
#include <stop_token>

// How a service keeps its coroutines from touching it once it is gone; every service does it this
// way. A coroutine takes guard() before its first wait and tests the guard after every wait (a
// transfer, the store's thread, a timer, a callback): once the guard is false the coroutine leaves
// at once and touches nothing of the service. Transfers take token(), so that they stop, instead of
// running on for nobody, when the service ends.
//
// The service calls end() first thing in its destructor. From then on every guard is false; the
// transfers are stopped, and their coroutines resume within end() only to find the guard false.
class Lifetime
{
public:
    class Guard
    {
    public:
        explicit operator bool() const noexcept { return !alive.expired(); }

    private:
        friend class Lifetime;
        explicit Guard(std::weak_ptr<const void> token)
            : alive(std::move(token))
        {}

        std::weak_ptr<const void> alive;
    };

    Lifetime() = default;
    ~Lifetime() { end(); }
    Lifetime(const Lifetime &) = delete;
    Lifetime &operator=(const Lifetime &) = delete;

    Guard guard() const { return Guard(alive); }
    std::stop_token token() const { return stop.get_token(); }

    void end()
    {
        alive.reset();
        stop.request_stop();
    }

private:
    std::shared_ptr<const void> alive = std::make_shared<const bool>(true);
    std::stop_source stop;
};
