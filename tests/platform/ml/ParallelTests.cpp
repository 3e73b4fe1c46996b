#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <sched.h>
#include <string>
#include <vector>

#include "platform/log/SystemLog.hpp"
#include "platform/ml/Parallel.hpp"
#include "tests/support/NoRoomForThreads.hpp"
#include "tests/support/Rendezvous.hpp"

using platform::ml::parallelFor;
using platform::ml::workerCount;

namespace {

// Puts the process on `most` cores, or as many as the machine lets it have
// (a `taskset` that started it aside); returns how many.
size_t runOnCores(size_t most) {
    cpu_set_t allowed;
    cpu_set_t kept;
    CPU_ZERO(&kept);
    CPU_ZERO(&allowed);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) CPU_SET(cpu, &allowed);
    if (::sched_setaffinity(0, sizeof allowed, &allowed) != 0 || ::sched_getaffinity(0, sizeof allowed, &allowed) != 0)
        std::_Exit(3);
    size_t count = 0;
    for (int cpu = 0; cpu < CPU_SETSIZE && count < most; ++cpu) {
        if (CPU_ISSET(cpu, &allowed)) {
            CPU_SET(cpu, &kept);
            ++count;
        }
    }
    if (::sched_setaffinity(0, sizeof kept, &kept) != 0) std::_Exit(3);
    return count;
}

// In a process of its own: the first loop, with room for one thread fewer
// than the pool wants, runs every index once on the threads that started
// and logs why the others did not; the next loop, with room again, has a
// thread for each core.
[[noreturn]] void runTheFirstLoopShortOfThreadsThenOneWithRoom() {
    const size_t cores = runOnCores(4);
    const size_t room = cores >= 2 ? cores - 2 : 0;
    std::vector<std::string> errors;
    std::mutex logged;
    platform::SystemLog::setSink(
        [&](platform::LogLevel level, const std::string&, const std::string&, const std::string& message) {
            std::lock_guard lock(logged);
            if (level == platform::LogLevel::error) errors.push_back(message);
        });

    std::vector<std::atomic<int>> hits(1000);
    const auto previous = parlox::testing::leaveRoomForThreads(room);
    parallelFor(static_cast<int64_t>(hits.size()), 1, [&](int64_t b, int64_t e) {
        for (int64_t i = b; i < e; ++i) hits[static_cast<size_t>(i)].fetch_add(1);
    });
    const int firstWorkers = workerCount();
    parlox::testing::giveRoomForThreads(previous);
    const bool everyIndexOnce = std::all_of(hits.begin(), hits.end(), [](const auto& h) { return h.load() == 1; });
    bool loggedOnce = false;
    {
        std::lock_guard lock(logged);
        // A machine of one core gives the pool no thread to start.
        loggedOnce = cores == 1 ? errors.empty()
                                : errors.size() == 1 && errors[0].find("could not start") != std::string::npos;
    }

    parlox::testing::Rendezvous all(cores);
    std::atomic<size_t> met{0};
    parallelFor(static_cast<int64_t>(cores), 1, [&](int64_t b, int64_t e) {
        for (int64_t i = b; i < e; ++i) met += all.arrive() ? 1 : 0;
    });
    std::fprintf(stderr,
                 "%zu cores, room for %zu threads: first loop on %d workers, every index once %d, logged once %d; "
                 "then %d workers, %zu of %zu met\n",
                 cores, room, firstWorkers, everyIndexOnce, loggedOnce, workerCount(), met.load(), cores);
    const bool ok = firstWorkers == static_cast<int>(room) + 1 && everyIndexOnce && loggedOnce &&
                    workerCount() == static_cast<int>(cores) && met == cores;
    std::_Exit(ok ? 0 : 1);
}

}  // namespace

TEST(ParallelDeathTest, ThreadsThatCannotStartAreLoggedTheLoopRunsAndTheNextLoopTriesAgain) {
    if (!parlox::testing::addressSpaceIsOurs) GTEST_SKIP() << "the sanitizers need address space of their own";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(runTheFirstLoopShortOfThreadsThenOneWithRoom(), ::testing::ExitedWithCode(0), "");
}
