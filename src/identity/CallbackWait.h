#pragma once

#include <QUrl>
#include <coroutine>
#include <exception>
#include <optional>

// A one-shot wait for the URL that ends a browser sign-in, awaited by the sign-in and settled by
// whichever result comes first (the callback, a cancel, a browser that would not open). Later
// results are dropped, so a second callback for the same sign-in can never resume it twice.
class CallbackWait
{
public:
    CallbackWait() = default;
    CallbackWait(const CallbackWait &) = delete;
    CallbackWait &operator=(const CallbackWait &) = delete;

    // Each returns false, changing nothing, when the wait is settled already. The waiting
    // coroutine runs on inside the call, so the caller must keep its own reference to the wait.
    bool resume(QUrl callbackURL);
    bool fail(std::exception_ptr error);

    // Awaiting gives the callback URL, or rethrows the failure.
    struct Awaiter
    {
        CallbackWait *wait;

        bool await_ready() const noexcept { return wait->settled; }
        void await_suspend(std::coroutine_handle<> handle) const noexcept { wait->waiter = handle; }
        QUrl await_resume() const;
    };
    Awaiter operator co_await() noexcept { return Awaiter{this}; }

private:
    void wake();

    std::optional<QUrl> url;
    std::exception_ptr failure;
    std::coroutine_handle<> waiter;
    bool settled = false;
};
