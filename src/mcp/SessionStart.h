#pragma once

#include <QString>
#include <coroutine>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

// The session initialization in flight, awaited by every request that needs a session while it
// runs, so that one handshake serves them all. Settled once, with the new identifier or with the
// failure, which every waiter then receives. Callers hold it by shared_ptr across the wait.
class SessionStart
{
public:
    SessionStart() = default;
    SessionStart(const SessionStart &) = delete;
    SessionStart &operator=(const SessionStart &) = delete;

    // Each resumes the waiters, in the order they began to wait, within the call.
    void succeed(QString identifier);
    void fail(std::exception_ptr error);

    struct Awaiter
    {
        SessionStart *start;

        bool await_ready() const noexcept { return start->settled; }
        void await_suspend(std::coroutine_handle<> handle) const
        {
            start->waiters.push_back(handle);
        }
        // The identifier, or the failure rethrown.
        QString await_resume() const;
    };
    Awaiter operator co_await() noexcept { return Awaiter{this}; }

private:
    void wake();

    std::optional<QString> identifier;
    std::exception_ptr failure;
    std::vector<std::coroutine_handle<>> waiters;
    bool settled = false;
};
