#include "platform/concurrency/SerialQueue.hpp"

#include <atomic>
#include <future>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

using platform::SerialQueue;

TEST(SerialQueue, RunsOneAtATimeInOrderOffTheCaller) {
    SerialQueue queue("prueba");
    std::vector<int> order;
    std::atomic<int> running{0};
    bool overlapped = false;
    for (int i = 0; i < 100; ++i)
        queue.async([&, i] {
            if (++running > 1) overlapped = true;
            EXPECT_TRUE(queue.isCurrent());
            order.push_back(i);
            --running;
        });
    EXPECT_FALSE(queue.isCurrent());
    queue.waitUntilIdle();
    EXPECT_FALSE(overlapped);
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
}

TEST(SerialQueue, SyncReturnsAfterEarlierWorkAndRethrows) {
    SerialQueue queue;
    int value = 0;
    queue.async([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        value = 5;
    });
    EXPECT_EQ(queue.sync([&] { return value * 2; }), 10);
    EXPECT_THROW(queue.sync([]() -> int { throw std::runtime_error("x"); }), std::runtime_error);
    // From inside its own work, sync runs inline instead of deadlocking.
    EXPECT_EQ(queue.sync([&] { return queue.sync([] { return 3; }); }), 3);
}

TEST(SerialQueue, ThrowingWorkDoesNotStopIt) {
    SerialQueue queue("q");
    bool after = false;
    queue.async([] { throw std::runtime_error("boom"); });
    queue.async([&] { after = true; });
    queue.waitUntilIdle();
    EXPECT_TRUE(after);
}

TEST(SerialQueue, DestructionRunsWhatWasQueued) {
    std::atomic<int> ran{0};
    {
        SerialQueue queue;
        for (int i = 0; i < 50; ++i)
            queue.async([&] {
                std::this_thread::sleep_for(std::chrono::microseconds(100));
                ++ran;
            });
    }
    EXPECT_EQ(ran, 50);
    SerialQueue unused;  // never started: destruction has nothing to join
}

TEST(SerialQueue, DestroyedByItsOwnWorkFinishesTheQueue) {
    auto* queue = new SerialQueue("own");
    std::promise<void> queued, last;
    std::shared_future<void> bothQueued = queued.get_future().share();
    queue->async([queue, bothQueued] {
        bothQueued.wait();
        delete queue;
    });
    queue->async([&] { last.set_value(); });
    queued.set_value();
    EXPECT_EQ(last.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

TEST(SerialQueue, ManyProducersAllRun) {
    SerialQueue queue;
    std::atomic<int> ran{0};
    std::vector<std::thread> producers;
    for (int t = 0; t < 4; ++t)
        producers.emplace_back([&] {
            for (int i = 0; i < 250; ++i) queue.async([&] { ++ran; });
        });
    for (auto& producer : producers) producer.join();
    queue.waitUntilIdle();
    EXPECT_EQ(ran, 1000);
}

}  // namespace
