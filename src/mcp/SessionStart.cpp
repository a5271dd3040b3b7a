#include "mcp/SessionStart.h"

#include <utility>

void SessionStart::succeed(QString newIdentifier)
{
    if (settled)
        return;
    identifier = std::move(newIdentifier);
    wake();
}

void SessionStart::fail(std::exception_ptr error)
{
    if (settled)
        return;
    failure = std::move(error);
    wake();
}

QString SessionStart::Awaiter::await_resume() const
{
    if (start->failure)
        std::rethrow_exception(start->failure);
    return *start->identifier;
}

void SessionStart::wake()
{
    settled = true;
    // A resumed waiter may start new waits on other starts, but never on this settled one.
    for (const auto handle : std::exchange(waiters, {}))
        handle.resume();
}
