#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
#include <sched.h>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/concurrency/ConcurrentWork.hpp"
#include "platform/log/SystemLog.hpp"
#include "tests/support/NoRoomForThreads.hpp"
#include "tests/support/Rendezvous.hpp"

using platform::ConcurrentWork;
using platform::ThreadPool;

namespace {

// How long a test waits for an event before it calls the wait a hang.
constexpr auto hang = std::chrono::seconds(60);

// Jobs that hold until the test lets them go, so that the test sees how
// many run at once, and on which threads, by waiting on events.
class HeldJobs {
public:
    void run(size_t index) {
        std::unique_lock lock(mutex_);
        ++running_;
        threads_.insert(std::this_thread::get_id());
        ran_.insert(index);
        changed_.notify_all();
        changed_.wait(lock, [&] { return released_; });
        --running_;
    }
    // Waits until `count` run at once, one of them on `thread`.
    bool waitForRunning(size_t count, std::thread::id thread) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, hang, [&] { return running_ >= count && threads_.count(thread); });
    }
    void release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }
    size_t running() {
        std::lock_guard lock(mutex_);
        return running_;
    }
    std::multiset<size_t> ran() {
        std::lock_guard lock(mutex_);
        return ran_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t running_ = 0;
    bool released_ = false;
    std::set<std::thread::id> threads_;
    std::multiset<size_t> ran_;
};

// Whether `count` threads of the pool can be had at once: work that waits
// for all of its pieces to run, queued behind whatever the pool holds.
bool poolHasIdleThreads(ThreadPool& pool, size_t count) {
    struct Meeting {
        std::mutex mutex;
        std::condition_variable changed;
        size_t arrived = 0;
        bool over = false;
    };
    auto meeting = std::make_shared<Meeting>();
    for (size_t i = 0; i < count; ++i)
        pool.submit([meeting] {
            std::unique_lock lock(meeting->mutex);
            ++meeting->arrived;
            meeting->changed.notify_all();
            meeting->changed.wait(lock, [&] { return meeting->over; });
        });
    std::unique_lock lock(meeting->mutex);
    const bool all = meeting->changed.wait_for(lock, hang, [&] { return meeting->arrived == count; });
    meeting->over = true;
    meeting->changed.notify_all();
    return all;
}

size_t threadsOfThisProcess() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++count;
    return count;
}

// In a process of its own: restricted to two of the cores it may run on (one
// when it has one), the shared pool starts a thread for each.
[[noreturn]] void startTheSharedPoolOnTwoCores() {
    cpu_set_t allowed;
    cpu_set_t some;
    CPU_ZERO(&some);
    if (::sched_getaffinity(0, sizeof allowed, &allowed) != 0) std::_Exit(3);
    size_t kept = 0;
    for (int cpu = 0; cpu < CPU_SETSIZE && kept < 2; ++cpu) {
        if (CPU_ISSET(cpu, &allowed)) {
            CPU_SET(cpu, &some);
            ++kept;
        }
    }
    if (::sched_setaffinity(0, sizeof some, &some) != 0) std::_Exit(3);
    const size_t before = threadsOfThisProcess();
    const bool pooled = ConcurrentWork::pool() != nullptr;
    const size_t started = threadsOfThisProcess() - before;
    std::fprintf(stderr, "%zu cores to run on, %zu threads started, core count %zu\n", kept, started,
                 ConcurrentWork::coreCount());
    std::_Exit(pooled && started == kept && ConcurrentWork::coreCount() == kept ? 0 : 1);
}

// In a process of its own: a batch while no thread can start runs on its
// caller and logs why; the next one, with room again, has helpers.
[[noreturn]] void runABatchShortOfThreadsThenOneWithRoom() {
    std::vector<std::string> errors;
    platform::SystemLog::setSink(
        [&](platform::LogLevel level, const std::string&, const std::string&, const std::string& message) {
            if (level == platform::LogLevel::error) errors.push_back(message);
        });
    const auto room = parlox::testing::leaveNoRoomForThreads();
    std::set<std::thread::id> threads;
    ConcurrentWork::forEach(4, 2, [&](size_t) { threads.insert(std::this_thread::get_id()); });
    parlox::testing::giveRoomForThreads(room);
    const bool aloneAndLogged = threads == std::set<std::thread::id>{std::this_thread::get_id()} &&
                                errors.size() == 1 && errors[0].find("could not start") != std::string::npos;
    parlox::testing::Rendezvous two(2);
    std::atomic<int> met{0};
    ConcurrentWork::forEach(2, 2, [&](size_t) { met += two.arrive() ? 1 : 0; });
    std::fprintf(stderr, "first batch alone and logged: %d, second batch met: %d\n", aloneAndLogged, met.load());
    std::_Exit(aloneAndLogged && met == 2 ? 0 : 1);
}

}  // namespace

TEST(ConcurrentWork, EveryJobRunsOnceAndTheLimitRunAtOnceTheCallerAmongThem) {
    const size_t cores = ConcurrentWork::coreCount();
    const size_t poolThreads = cores + 2;
    ThreadPool pool(poolThreads);
    struct Case {
        size_t count;
        size_t limit;
        size_t atOnce;
    };
    const Case cases[] = {
        {4, 1, 1},
        {6, 3, 3},
        {cores + 2, 0, cores},                     // 0: one per core the process may use
        {2, 0, std::min<size_t>(2, cores)},        // fewer jobs than that
        {poolThreads + 3, 4 * poolThreads, poolThreads + 1},  // beyond the pool: all of it, and the caller
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("count " + std::to_string(c.count) + ", limit " + std::to_string(c.limit));
        HeldJobs jobs;
        std::thread caller([&] { ConcurrentWork::forEach(c.count, c.limit, [&](size_t i) { jobs.run(i); }, &pool); });
        EXPECT_TRUE(jobs.waitForRunning(c.atOnce, caller.get_id()));
        // Each helper beyond the limit would hold a thread the pool has not
        // got to spare.
        EXPECT_TRUE(poolHasIdleThreads(pool, poolThreads - std::min(poolThreads, c.atOnce - 1)));
        EXPECT_EQ(jobs.running(), c.atOnce);
        jobs.release();
        caller.join();
        const auto ran = jobs.ran();
        EXPECT_EQ(ran.size(), c.count);
        for (size_t i = 0; i < c.count; ++i) EXPECT_EQ(ran.count(i), 1u) << i;
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
    ASSERT_EQ(done.wait_for(hang), std::future_status::ready) << "deadlocked";
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

TEST(ConcurrentWorkDeathTest, TheSharedPoolStartsAThreadForEachCoreTheProcessMayUse) {
    // A process of its own: the shared pool starts on first use.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(startTheSharedPoolOnTwoCores(), ::testing::ExitedWithCode(0), "");
}

TEST(ConcurrentWorkDeathTest, AFailedStartIsLoggedAndTheNextBatchTriesAgain) {
    if (!parlox::testing::addressSpaceIsOurs) GTEST_SKIP() << "the sanitizers need address space of their own";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(runABatchShortOfThreadsThenOneWithRoom(), ::testing::ExitedWithCode(0), "");
}
