#pragma once

#include <QCoroTask>
#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

// QCoro::waitFor never returns when the awaited task throws: its wrapper coroutine keeps the
// exception and never quits the nested loop. Tests therefore wait on a wrapper that always
// completes, and rethrow on the test's own stack so EXPECT_THROW sees the original exception.
namespace TaskAwaiting {

template<typename T> struct Settled
{
    std::conditional_t<std::is_void_v<T>, bool, std::optional<T>> value{};
    std::exception_ptr failure;
};

template<typename T> QCoro::Task<Settled<T>> settle(QCoro::Task<T> task)
{
    Settled<T> settled;
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(task);
            settled.value = true;
        } else {
            settled.value.emplace(co_await std::move(task));
        }
    } catch (...) {
        settled.failure = std::current_exception();
    }
    co_return settled;
}

} // namespace TaskAwaiting

template<typename T> T awaitTask(QCoro::Task<T> task)
{
    auto settled = QCoro::waitFor(TaskAwaiting::settle(std::move(task)));
    if (settled.failure)
        std::rethrow_exception(settled.failure);
    if constexpr (!std::is_void_v<T>)
        return std::move(*settled.value);
}

// The Error the task failed with; none when it succeeded or failed with something else.
template<typename Error, typename T> std::optional<Error> failureOf(QCoro::Task<T> task)
{
    try {
        awaitTask(std::move(task));
    } catch (const Error &error) {
        return error;
    } catch (...) {
    }
    return std::nullopt;
}
