#include "platform/concurrency/MainQueue.hpp"
#include "platform/concurrency/MainRunLoop.hpp"

#include <algorithm>
#include <atomic>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace platform;

TEST(MainQueue, RunsPostedWorkInOrderOnTheLoopThread) {
    MainQueue queue;
    MainRunLoop loop(queue);
    std::vector<int> order;
    for (int i = 0; i < 5; ++i) queue.enqueue([&, i] { order.push_back(i); });
    queue.enqueue([&] {
        order.push_back(5);
        // Posted while running: after everything already queued.
        queue.enqueue([&] { order.push_back(7); });
    });
    queue.enqueue([&] { order.push_back(6); });
    EXPECT_EQ(loop.drain(), 8u);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_TRUE(queue.isBoundThread());
}

TEST(MainQueue, WorkFromOtherThreadsKeepsEachThreadsOrder) {
    MainQueue queue;
    MainRunLoop loop(queue);
    constexpr int kThreads = 4, kEach = 200;
    std::vector<std::vector<int>> seen(kThreads);
    std::atomic<int> total{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i)
                queue.enqueue([&, t, i] {
                    EXPECT_TRUE(queue.isBoundThread());
                    seen[t].push_back(i);
                    ++total;
                });
        });
    EXPECT_TRUE(loop.runUntil([&] { return total == kThreads * kEach; }, 10));
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(seen[t].size(), static_cast<size_t>(kEach));
        for (int i = 0; i < kEach; ++i) EXPECT_EQ(seen[t][i], i);
    }
}

TEST(MainQueue, DelayedWorkRunsByDeadlineAndCanBeCancelled) {
    MainQueue queue;
    MainRunLoop loop(queue);
    std::vector<std::string> order;
    const auto start = MainQueue::Clock::now();
    MainQueue::Clock::time_point lateRan{};
    queue.enqueueAfter(0.3, [&] {
        order.push_back("late");
        lateRan = MainQueue::Clock::now();
    });
    queue.enqueueAfter(0.02, [&] { order.push_back("early"); });
    CancelHandle cancelled = queue.enqueueAfter(0.01, [&] { order.push_back("cancelled"); });
    queue.enqueueAfter(0.02, [&] { order.push_back("early2"); });
    const auto posted = MainQueue::Clock::now();
    CancelHandle distant = queue.enqueueAfter(30, [&] { order.push_back("distant"); });
    queue.enqueue([&] { order.push_back("now"); });
    cancelled.cancel();
    EXPECT_TRUE(cancelled.isCancelled());
    EXPECT_EQ(queue.pendingCount(), 5u);

    ASSERT_TRUE(loop.runUntil([&] { return order.size() == 4; }, 5));
    auto ran = order;
    std::sort(ran.begin(), ran.end());
    ASSERT_EQ(ran, (std::vector<std::string>{"early", "early2", "late", "now"}));
    EXPECT_EQ(order.front(), "now");
    EXPECT_LT(std::find(order.begin(), order.end(), "early"),
              std::find(order.begin(), order.end(), "early2"));
    // Each deadline counts from its own post: only posts made within the
    // 280 ms between the delays put "late" after the early ones.
    if (posted - start < std::chrono::milliseconds(280)) {
        EXPECT_EQ(order.back(), "late");
    }
    EXPECT_GE(lateRan - start, std::chrono::milliseconds(300));
    // Delayed work that is not due stays queued through a drain.
    loop.drain();
    EXPECT_EQ(order.size(), 4u);
    EXPECT_EQ(queue.pendingCount(), 1u);
    distant.cancel();
    EXPECT_EQ(queue.pendingCount(), 0u);
}

TEST(MainQueue, CancelFromInsideEarlierWorkOfTheSameBatch) {
    MainQueue queue;
    MainRunLoop loop(queue);
    bool ran = false;
    CancelHandle second;
    queue.enqueueAfter(0, [&] { second.cancel(); });
    second = queue.enqueueAfter(0, [&] { ran = true; });
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    loop.drain();
    EXPECT_FALSE(ran);
}

TEST(MainQueue, RunReturnsOnQuitFromAnotherThread) {
    MainQueue queue;
    MainRunLoop loop(queue);
    std::atomic<bool> workerPostRan{false};
    std::thread worker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        queue.enqueue([&] {
            workerPostRan = true;
            EXPECT_TRUE(queue.isBoundThread());
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        loop.quit();
    });
    loop.run();  // would block forever without the quit
    worker.join();
    EXPECT_TRUE(workerPostRan);
}

TEST(MainQueue, QuitComesAfterWorkPostedBeforeIt) {
    MainQueue queue;
    MainRunLoop loop(queue);
    std::vector<int> order;
    // Both posted before the loop runs, as a fast worker would.
    std::thread([&] {
        queue.enqueue([&] { order.push_back(1); });
        loop.quit();
    }).join();
    loop.run();
    EXPECT_EQ(order, std::vector<int>{1});
    // The request was used up: the next run waits for a new one.
    queue.enqueue([&] { order.push_back(2); });
    queue.enqueue([&] { loop.quit(); });
    loop.run();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(MainQueue, RunUntilTimesOutAndRunForWaits) {
    MainQueue queue;
    MainRunLoop loop(queue);
    const auto start = MainQueue::Clock::now();
    EXPECT_FALSE(loop.runUntil([] { return false; }, 0.05));
    EXPECT_GE(MainQueue::Clock::now() - start, std::chrono::milliseconds(50));
    int count = 0;
    queue.enqueueAfter(0.01, [&] { ++count; });
    loop.runFor(0.04);
    EXPECT_EQ(count, 1);
}

TEST(MainQueue, WakeHandlerHearsPostsForAnOutsideLoop) {
    MainQueue queue;
    std::atomic<int> wakes{0};
    queue.setWakeHandler([&] { ++wakes; });
    const int before = wakes;
    std::thread([&] { queue.enqueue([] {}); }).join();
    EXPECT_GT(wakes, before);
    EXPECT_TRUE(queue.hasImmediateWork());
    EXPECT_EQ(queue.runPending(), 1u);
    const auto posted = MainQueue::Clock::now();
    queue.enqueueAfter(5, [] {});
    ASSERT_TRUE(queue.nextDeadline().has_value());
    EXPECT_GE(*queue.nextDeadline(), posted + std::chrono::seconds(5));
    queue.setWakeHandler(nullptr);
}

TEST(MainQueue, ReplacingTheWakeHandlerWaitsForACallInFlight) {
    MainQueue queue;
    std::promise<void> entered, release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> calls{0};
    std::atomic<bool> armed{false};
    queue.setWakeHandler([&, released] {
        ++calls;
        if (armed.exchange(false)) {
            entered.set_value();
            released.wait();
        }
    });
    armed = true;
    std::thread poster([&] { queue.enqueue([] {}); });
    entered.get_future().wait();
    std::atomic<bool> replaced{false};
    std::thread owner([&] {
        queue.setWakeHandler(nullptr);
        replaced = true;  // from here the old handler's owner may go
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(replaced);
    release.set_value();
    owner.join();
    poster.join();
    EXPECT_TRUE(replaced);
    const int before = calls;
    queue.enqueue([] {});
    EXPECT_EQ(calls, before);
}

TEST(MainQueue, WakeHandlerMayPost) {
    MainQueue queue;
    int wakes = 0;
    // The first wake comes from setWakeHandler itself; its post wakes again.
    queue.setWakeHandler([&] {
        if (wakes++ == 0) queue.enqueue([] {});
    });
    EXPECT_EQ(wakes, 2);
    EXPECT_EQ(queue.runPending(), 1u);
    queue.setWakeHandler(nullptr);
}

TEST(MainQueue, ThrowingWorkDoesNotStopTheQueue) {
    MainQueue queue;
    bool after = false;
    queue.enqueue([] { throw std::runtime_error("boom"); });
    queue.enqueue([&] { after = true; });
    EXPECT_EQ(MainRunLoop(queue).drain(), 2u);
    EXPECT_TRUE(after);
}

TEST(MainQueue, RepeatingWorkRunsUntilCancelled) {
    MainQueue queue;
    MainRunLoop loop(queue);
    int ticks = 0;
    CancelHandle handle;
    handle = queue.enqueueRepeating(0.005, [&] {
        if (++ticks == 3) handle.cancel();
    });
    EXPECT_TRUE(loop.runUntil([&] { return ticks == 3; }, 5));
    loop.runFor(0.03);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(queue.pendingCount(), 0u);
}

TEST(MainQueue, SyncRunsOnTheMainThreadAndReturns) {
    std::atomic<bool> done{false};
    std::thread::id ranOn;
    int result = 0;
    std::thread worker([&] {
        result = MainQueue::sync([&] {
            ranOn = std::this_thread::get_id();
            return 41 + 1;
        });
        EXPECT_THROW(MainQueue::sync([]() -> int { throw std::runtime_error("x"); }),
                     std::runtime_error);
        done = true;
    });
    EXPECT_TRUE(MainRunLoop::runMainUntil([&] { return done.load(); }, 10));
    worker.join();
    EXPECT_EQ(result, 42);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    // On the main thread itself it runs inline.
    EXPECT_EQ(MainQueue::sync([] { return 7; }), 7);
}

TEST(MainQueue, SharedQueueKnowsItsMainThread) {
    std::atomic<bool> onWorker{true};
    bool onMain = false;
    MainQueue::post([&] { onMain = MainQueue::isMainThread(); });
    MainRunLoop::drainMain();
    EXPECT_TRUE(onMain);
    std::thread([&] { onWorker = MainQueue::isMainThread(); }).join();
    EXPECT_FALSE(onWorker);
    bool delayed = false;
    MainQueue::postAfter(0.01, [&] { delayed = true; });
    EXPECT_TRUE(MainRunLoop::runMainUntil([&] { return delayed; }, 5));
}

}  // namespace
