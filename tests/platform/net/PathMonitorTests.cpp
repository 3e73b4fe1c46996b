#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/net/PathMonitor.hpp"
#include "platform/net/fake/FakePathMonitor.hpp"

using namespace platform::net;

TEST(PathMonitor, LinuxMonitorReportsOnceAtStartAndStops) {
    NetlinkPathMonitor monitor;
    std::atomic<int> calls{0};
    monitor.start([&](const NetworkPath&) { ++calls; });
    for (int i = 0; i < 200 && calls == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(calls, 1);
    monitor.cancel();
    monitor.cancel();
}

TEST(PathMonitor, FakeDeliversPushedPaths) {
    FakePathMonitor fake;
    NetworkPath seen;
    fake.start([&](const NetworkPath& p) { seen = p; });
    fake.push({NetworkPath::Status::unsatisfied, true, false});
    EXPECT_EQ(seen.status, NetworkPath::Status::unsatisfied);
    EXPECT_TRUE(seen.isExpensive);
}
