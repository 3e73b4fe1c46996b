#include "platform/concurrency/Task.hpp"

#include <atomic>
#include <cmath>
#include <limits>
#include <future>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

namespace {

using namespace platform;

TEST(Task, ReturnsTheResultOrRethrows) {
    auto sum = Task::run([](std::stop_token) { return 40 + 2; });
    EXPECT_EQ(sum.get(), 42);
    auto plain = Task::run([] { return std::string("sin token"); });
    EXPECT_EQ(plain.get(), "sin token");
    auto failing = Task::run([](std::stop_token) -> int { throw std::runtime_error("mal"); });
    EXPECT_THROW(failing.get(), std::runtime_error);
    auto odd = Task::run([]() -> int { throw 7; });
    EXPECT_THROW(odd.get(), int);
    auto nothing = Task::run([] {});
    nothing.wait();
    EXPECT_TRUE(nothing.isDone());
}

TEST(Task, ResultOutlivesATemporaryHandle) {
    const std::string& text = Task::run([] { return std::string(1000, 'x'); }).get();
    EXPECT_EQ(text.size(), 1000u);
    auto moveOnly = Task::run([] { return std::make_unique<int>(3); });
    EXPECT_EQ(*moveOnly.get(), 3);
}

TEST(Task, CancelRequestsStopAndWorkEnds) {
    std::atomic<bool> started{false};
    auto task = Task::run([&](std::stop_token token) {
        started = true;
        while (!token.stop_requested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        Task::checkCancellation(token);
        return 1;
    });
    while (!started) std::this_thread::yield();
    EXPECT_FALSE(task.waitFor(0.02));
    task.cancel();
    EXPECT_TRUE(task.isCancelled());
    EXPECT_TRUE(task.waitFor(5));
    EXPECT_THROW(task.get(), CancellationError);
}

TEST(Task, WaitForWithoutALimit) {
    std::promise<void> release;
    auto task = Task::run([done = release.get_future().share()] { done.wait(); });
    EXPECT_FALSE(task.waitFor(std::nan("")));
    EXPECT_FALSE(task.waitFor(-1));
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        release.set_value();
    });
    EXPECT_TRUE(task.waitFor(std::numeric_limits<double>::infinity()));
    releaser.join();
}

TEST(Task, SleepEndsEarlyOnStop) {
    auto task = Task::run([](std::stop_token token) { return Task::sleep(30, token); });
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto start = std::chrono::steady_clock::now();
    task.cancel();
    EXPECT_FALSE(task.get());
    // Well short of the 30 s sleep, with room for a slow machine.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(Task::sleep(0.001));
}

TEST(Task, OwnThreadWaitsOnChildrenWithoutStarvingThePool) {
    // One worker only: a parent in that slot waiting on its children would
    // never finish. On a thread of its own it does.
    ThreadPool pool(1);
    auto parent = Task::runOnThread([&pool](std::stop_token) {
        std::vector<TaskHandle<int>> children;
        for (int i = 0; i < 4; ++i) children.push_back(Task::runOn(pool, [i] { return i * i; }));
        return Task::collect(children);
    });
    ASSERT_TRUE(parent.waitFor(10));
    EXPECT_EQ(parent.get(), (std::vector<int>{0, 1, 4, 9}));
}

TEST(Task, CollectKeepsInputOrderAndRethrowsTheFirstFailure) {
    std::vector<TaskHandle<int>> tasks;
    for (int i = 0; i < 8; ++i)
        tasks.push_back(Task::run([i](std::stop_token token) {
            Task::sleep(0.001 * (8 - i), token);
            return i;
        }));
    EXPECT_EQ(Task::collect(tasks), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    tasks.push_back(Task::run([]() -> int { throw std::logic_error("x"); }));
    EXPECT_THROW(Task::collect(tasks), std::logic_error);
}

TEST(ThreadPool, ThrowingWorkKeepsTheWorker) {
    ThreadPool pool(1);
    pool.submit([] { throw std::runtime_error("boom"); });
    pool.submit([] { throw 1; });
    EXPECT_EQ(Task::runOn(pool, [] { return 5; }).get(), 5);
}

TEST(ThreadPool, WorkDroppedAtDestructionFailsItsWaitersInsteadOfHanging) {
    auto pool = std::make_unique<ThreadPool>(1);
    std::promise<void> started, release;
    auto running = Task::runOn(*pool, [&] {
        started.set_value();
        release.get_future().wait();
        return 1;
    });
    started.get_future().wait();
    auto queued = Task::runOn(*pool, [] { return 2; });
    std::thread destroyer([&] { pool.reset(); });
    EXPECT_THROW(queued.get(), std::future_error);
    release.set_value();
    destroyer.join();
    EXPECT_EQ(running.get(), 1);  // started work was let finish
}

TEST(ThreadPool, RunsEverythingSubmittedAndJoinsOnDestruction) {
    std::atomic<int> count{0};
    {
        ThreadPool pool(3);
        EXPECT_EQ(pool.threadCount(), 3u);
        std::vector<TaskHandle<void>> tasks;
        for (int i = 0; i < 100; ++i) tasks.push_back(Task::runOn(pool, [&] { ++count; }));
        for (auto& task : tasks) task.wait();
    }
    EXPECT_EQ(count, 100);
    EXPECT_GE(ThreadPool::shared().threadCount(), 4u);
}

}  // namespace
