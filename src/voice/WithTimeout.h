#pragma once

#include "model/OneShot.h"
#include "voice/PipecatError.h"

#include <QCoroTask>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <stop_token>
#include <type_traits>

namespace WithTimeoutDetail {

template<typename T> using Result = std::conditional_t<std::is_void_v<T>, bool, T>;

// One race between an operation and a timer. The timer lives in the race's own context object,
// so it dies with the race.
template<typename T> struct Race
{
    OneShot<Result<T>> finish;
    std::stop_source stop;
    QObject timerContext;
};

template<typename T>
QCoro::Task<> runOperation(std::shared_ptr<Race<T>> race, QCoro::Task<T> operation)
{
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(operation);
            race->finish.succeed(true);
        } else {
            race->finish.succeed(co_await std::move(operation));
        }
    } catch (...) {
        race->finish.fail(std::current_exception());
    }
}

} // namespace WithTimeoutDetail

// Runs the operation against a timer of the given length: the first to finish decides. When the
// timer wins the wait fails with connectionTimeout and the operation is told to stop through its
// token; when the operation wins the timer is dropped. A stop of `outer` stops the operation too.
template<typename T>
QCoro::Task<T> withTimeout(std::chrono::milliseconds limit, std::stop_token outer,
                           std::function<QCoro::Task<T>(std::stop_token)> operation)
{
    using namespace WithTimeoutDetail;
    const auto race = std::make_shared<Race<T>>();
    const std::stop_callback followOuter(outer, [race] { race->stop.request_stop(); });
    QTimer::singleShot(limit, &race->timerContext, [weak = std::weak_ptr(race)] {
        if (const auto held = weak.lock()) {
            held->finish.fail(std::make_exception_ptr(PipecatError::connectionTimeout()));
            held->stop.request_stop();
        }
    });
    runOperation<T>(race, operation(race->stop.get_token()));
    if constexpr (std::is_void_v<T>)
        co_await race->finish;
    else
        co_return co_await race->finish;
}
