#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/concurrency/fake/ManualScheduler.hpp"

namespace {

using platform::ManualScheduler;

TEST(ManualScheduler, NothingRunsUntilTheTestSteps) {
    ManualScheduler scheduler;
    std::vector<std::string> ran;
    scheduler.post([&] { ran.push_back("post"); });
    scheduler.background([&] {
        ran.push_back("job");
        scheduler.post([&] { ran.push_back("result"); });
    });
    EXPECT_TRUE(ran.empty());
    scheduler.settle();
    EXPECT_EQ(ran, (std::vector<std::string>{"post", "job", "result"}));
}

TEST(ManualScheduler, TimersFireInDeadlineOrderAsTimeAdvances) {
    ManualScheduler scheduler;
    std::vector<std::string> fired;
    scheduler.after(2, [&] { fired.push_back("2s"); });
    auto cancelled = scheduler.after(1, [&] { fired.push_back("cancelled"); });
    scheduler.after(1, [&] { fired.push_back("1s"); });
    cancelled.cancel();
    scheduler.advance(1.5);
    EXPECT_EQ(fired, (std::vector<std::string>{"1s"}));
    EXPECT_EQ(scheduler.pendingTimerDelays(), (std::vector<double>{0.5}));
    scheduler.advance(0.5);
    EXPECT_EQ(fired, (std::vector<std::string>{"1s", "2s"}));
}

TEST(ManualScheduler, JobSleepsMoveTheClockAndLandExactlyOnDeadlines) {
    ManualScheduler scheduler;
    const auto start = scheduler.uptime();
    bool fired = false;
    scheduler.after(0.46, [&] { fired = true; });
    scheduler.background([&] {
        for (double wait : {0.4, 0.06}) scheduler.sleep(wait);
    });
    scheduler.settle();
    EXPECT_TRUE(fired);
    EXPECT_DOUBLE_EQ(scheduler.secondsSince(start), 0.46);
    EXPECT_EQ(scheduler.sleeps(), (std::vector<double>{0.4, 0.06}));
}

TEST(ManualScheduler, RepeatingTimerRunsUntilCancelledAndStoppedSleepsReturnFalse) {
    ManualScheduler scheduler;
    int ticks = 0;
    auto timer = scheduler.every(10, [&] { ++ticks; });
    scheduler.advance(35);
    EXPECT_EQ(ticks, 3);
    timer.cancel();
    scheduler.advance(100);
    EXPECT_EQ(ticks, 3);

    std::stop_source stop;
    stop.request_stop();
    EXPECT_FALSE(scheduler.sleep(1, stop.get_token()));
    EXPECT_TRUE(scheduler.sleep(1));
}

}  // namespace
