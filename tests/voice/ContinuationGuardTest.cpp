#include "voice/ContinuationGuard.h"

#include "support/TaskAwaiting.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// Engines may call a completion twice, from threads of their own, racing with a cancellation:
// the waiting task resumes once, on the main thread, with whichever came first.
TEST(ContinuationGuardTest, ResumesTheWaitingTaskOnceWhateverRacesToIt)
{
    for (int round = 0; round < 20; ++round) {
        const auto shot = std::make_shared<OneShot<int>>();
        const auto guard = std::make_shared<ContinuationGuard<int>>(Continuation<int>(shot));
        const auto mainThread = std::this_thread::get_id();
        std::vector<std::thread::id> resumedOn;
        std::vector<int> results;
        [](std::shared_ptr<OneShot<int>> waiting, std::vector<int> &values,
           std::vector<std::thread::id> &threads) -> QCoro::Task<> {
            try {
                values.push_back(co_await *waiting);
            } catch (const std::runtime_error &) {
                values.push_back(-1);
            }
            threads.push_back(std::this_thread::get_id());
        }(shot, results, resumedOn);

        std::vector<std::thread> engineThreads;
        for (int i = 1; i <= 4; ++i)
            engineThreads.emplace_back([guard, i] {
                if (i == 4)
                    guard->resume(std::make_exception_ptr(std::runtime_error("cancelled")));
                else
                    guard->resume(i);
            });
        for (auto &thread : engineThreads)
            thread.join();
        EXPECT_TRUE(results.empty()) << "resumed on an engine thread";
        QCoreApplication::processEvents();
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(resumedOn.front(), mainThread);
        guard->resume(99);
        QCoreApplication::processEvents();
        EXPECT_EQ(results.size(), 1u);
    }
}

} // namespace
