#include "identity/CallbackWait.h"

#include <utility>

bool CallbackWait::resume(QUrl callbackURL)
{
    if (settled)
        return false;
    url = std::move(callbackURL);
    wake();
    return true;
}

bool CallbackWait::fail(std::exception_ptr error)
{
    if (settled)
        return false;
    failure = std::move(error);
    wake();
    return true;
}

QUrl CallbackWait::Awaiter::await_resume() const
{
    if (wait->failure)
        std::rethrow_exception(wait->failure);
    return *wait->url;
}

void CallbackWait::wake()
{
    settled = true;
    // Resuming may end the coroutine that owns this wait: touch nothing after it.
    if (const auto handle = std::exchange(waiter, nullptr))
        handle.resume();
}
