#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/concurrency/ConcurrentWork.hpp"

using platform::ConcurrentWork;
using platform::ThreadPool;

namespace {

// Counts the jobs running at once. Each job holds until one more than
// `allowed` run together (which shows a bound broken at once) or a short
// while has passed (the bound held).
class Overlap {
public:
    explicit Overlap(size_t allowed) : allowed_(allowed) {}

    void run() {
        std::unique_lock lock(mutex_);
        peak_ = std::max(peak_, ++running_);
        changed_.notify_all();
        changed_.wait_for(lock, std::chrono::milliseconds(200), [&] { return running_ > allowed_; });
        --running_;
    }
    size_t peak() {
        std::lock_guard lock(mutex_);
        return peak_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t allowed_;
    size_t running_ = 0;
    size_t peak_ = 0;
};

}  // namespace

TEST(ConcurrentWork, EveryJobRunsOnceAndNoMoreThanTheLimitAtOnce) {
    const size_t cores = ConcurrentWork::coreCount();
    ThreadPool pool(cores);
    struct Case {
        size_t count;
        size_t limit;
        size_t bound;  // with a pool of one thread per core and the caller
    };
    const Case cases[] = {
        {5, 1, 1},
        {12, 3, std::min<size_t>(3, cores + 1)},
        {3 * cores, 0, cores},  // 0: the core count
        {2, 0, std::min<size_t>(2, cores)},
        {3 * cores + 4, 4 * cores, cores + 1},  // a limit above the pool: the pool bounds it
    };
    for (const auto& c : cases) {
        Overlap overlap(c.bound);
        std::mutex mutex;
        std::multiset<size_t> ran;
        ConcurrentWork::forEach(
            c.count, c.limit,
            [&](size_t i) {
                overlap.run();
                std::lock_guard lock(mutex);
                ran.insert(i);
            },
            &pool);
        EXPECT_EQ(ran.size(), c.count) << c.limit;
        for (size_t i = 0; i < c.count; ++i) EXPECT_EQ(ran.count(i), 1u) << i;
        EXPECT_LE(overlap.peak(), c.bound) << "count " << c.count << ", limit " << c.limit;
        if (c.bound > 1) {
            EXPECT_GE(overlap.peak(), 2u) << "count " << c.count << ", limit " << c.limit;
        }
    }
}

TEST(ConcurrentWork, NestedBatchesOnAOnePlacePoolFinish) {
    // Every job waits on a batch of its own on the same pool, whose one
    // thread is soon held by an outer job: the waiters do the work.
    ThreadPool pool(1);
    std::atomic<int> inner{0};
    auto done = std::async(std::launch::async, [&] {
        ConcurrentWork::forEach(
            4, 4,
            [&](size_t) {
                ConcurrentWork::forEach(
                    4, 4,
                    [&](size_t) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                        ++inner;
                    },
                    &pool);
            },
            &pool);
    });
    ASSERT_EQ(done.wait_for(std::chrono::seconds(60)), std::future_status::ready) << "deadlocked";
    EXPECT_EQ(inner.load(), 16);
}

TEST(ConcurrentWork, WithoutAPoolTheCallerRunsEveryJob) {
    std::set<std::thread::id> threads;
    size_t count = 0;
    ConcurrentWork::forEach(
        5, 0,
        [&](size_t) {
            threads.insert(std::this_thread::get_id());
            ++count;
        },
        nullptr);
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(threads, std::set<std::thread::id>{std::this_thread::get_id()});
}

TEST(ConcurrentWork, AFailingJobEndsOnlyItselfAndItsErrorComesBackAfterAll) {
    ThreadPool pool(2);
    std::atomic<int> ran{0};
    try {
        ConcurrentWork::forEach(
            6, 3,
            [&](size_t i) {
                ++ran;
                if (i == 1) throw std::runtime_error("job 1");
            },
            &pool);
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "job 1");
    }
    EXPECT_EQ(ran.load(), 6);
}

TEST(ConcurrentWork, TheSharedPoolHasOneThreadPerCore) {
    ASSERT_NE(ConcurrentWork::pool(), nullptr);
    EXPECT_EQ(ConcurrentWork::pool()->threadCount(), ConcurrentWork::coreCount());
    EXPECT_EQ(ConcurrentWork::coreCount(), std::max(1u, std::thread::hardware_concurrency()));
}
