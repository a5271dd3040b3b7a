#pragma once

#include <coroutine>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

// A result that arrives once, from outside the coroutines that wait for it: the callback URL of a
// browser sign-in, a session that one request opens for all. Whichever settles it first decides;
// later attempts are dropped, so no waiter is ever resumed twice. Every coroutine awaiting it gets
// the value or the failure rethrown. Main thread only.
//
// Settling resumes the waiters, in the order they began to wait, within the call; one of them may
// end what owns the OneShot, so callers keep their own reference (a shared_ptr) across it.
template<typename T> class OneShot
{
public:
    OneShot() = default;
    OneShot(const OneShot &) = delete;
    OneShot &operator=(const OneShot &) = delete;

    // False, changing nothing, when the result is settled already.
    bool succeed(T result)
    {
        if (settled)
            return false;
        value.emplace(std::move(result));
        wake();
        return true;
    }
    bool fail(std::exception_ptr error)
    {
        if (settled)
            return false;
        failure = std::move(error);
        wake();
        return true;
    }

    struct Awaiter
    {
        OneShot *shot;

        bool await_ready() const noexcept { return shot->settled; }
        void await_suspend(std::coroutine_handle<> handle) const
        {
            shot->waiters.push_back(handle);
        }
        T await_resume() const
        {
            if (shot->failure)
                std::rethrow_exception(shot->failure);
            return *shot->value;
        }
    };
    Awaiter operator co_await() noexcept { return Awaiter{this}; }

private:
    void wake()
    {
        settled = true;
        for (const auto handle : std::exchange(waiters, {}))
            handle.resume();
    }

    std::optional<T> value;
    std::exception_ptr failure;
    std::vector<std::coroutine_handle<>> waiters;
    bool settled = false;
};
