#pragma once

#include "model/OneShot.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

// A handle that resumes one waiting task from any thread: the result travels to the main thread,
// where the task waits on the OneShot. A task that is gone by then is not resumed.
template<typename T> class Continuation
{
public:
    explicit Continuation(const std::shared_ptr<OneShot<T>> &waiter)
        : shot(waiter)
    {}

    void resume(T value) &&
    {
        post([shot = shot, value = std::move(value)]() mutable {
            if (const auto waiter = shot.lock())
                waiter->succeed(std::move(value));
        });
    }
    void resume(std::exception_ptr error) &&
    {
        post([shot = shot, error = std::move(error)] {
            if (const auto waiter = shot.lock())
                waiter->fail(error);
        });
    }

private:
    template<typename Function> static void post(Function function)
    {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(function),
                                  Qt::QueuedConnection);
    }

    std::weak_ptr<OneShot<T>> shot;
};

// Bridges a callback to a waiting task exactly once: an engine may call a completion twice, and a
// completion may race with the time limit's cancellation; only the first has any effect.
template<typename T> class ContinuationGuard
{
public:
    explicit ContinuationGuard(Continuation<T> handle)
        : continuation(std::move(handle))
    {}

    void resume(T value)
    {
        if (auto taken = take())
            std::move(*taken).resume(std::move(value));
    }
    void resume(std::exception_ptr error)
    {
        if (auto taken = take())
            std::move(*taken).resume(std::move(error));
    }

private:
    std::optional<Continuation<T>> take()
    {
        const std::lock_guard held(lock);
        return std::exchange(continuation, std::nullopt);
    }

    std::optional<Continuation<T>> continuation;
    std::mutex lock;
};
