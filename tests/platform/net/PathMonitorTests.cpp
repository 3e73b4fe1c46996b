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
    EXPECT_EQ(calls, 1);
    monitor.start([&](const NetworkPath&) { ++calls; });
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
