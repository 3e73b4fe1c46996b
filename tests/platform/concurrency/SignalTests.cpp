#include "platform/concurrency/Guarded.hpp"
#include "platform/concurrency/Signal.hpp"

#include <optional>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace platform;

TEST(Signal, CallsSlotsInConnectionOrderUntilDisconnected) {
    Signal<int, const std::string&> signal;
    std::vector<std::string> calls;
    auto a = signal.connect([&](int n, const std::string& s) { calls.push_back("a" + std::to_string(n).append(s)); });
    std::optional<Connection> b = signal.connect([&](int n, const std::string& s) {
        calls.push_back("b" + std::to_string(n).append(s));
    });
    signal.emit(1, "x");
    b.reset();  // destruction disconnects
    signal(2, "y");
    a.disconnect();
    EXPECT_FALSE(a.isConnected());
    signal.emit(3, "z");
    EXPECT_EQ(calls, (std::vector<std::string>{"a1x", "b1x", "a2y"}));
    EXPECT_EQ(signal.slotCount(), 0u);
}

TEST(Signal, DisconnectDuringEmit) {
    Signal<> signal;
    std::vector<std::string> calls;
    Connection self, later;
    self = signal.connect([&] {
        calls.push_back("self");
        self.disconnect();   // itself, while running
        later.disconnect();  // one that has not run yet in this emission
    });
    later = signal.connect([&] { calls.push_back("later"); });
    auto stays = signal.connect([&] { calls.push_back("stays"); });
    signal.emit();
    signal.emit();
    EXPECT_EQ(calls, (std::vector<std::string>{"self", "stays", "stays"}));
}

TEST(Signal, ConnectDuringEmitJoinsTheNextEmission) {
    Signal<> signal;
    int added = 0;
    std::vector<Connection> connections;
    connections.push_back(signal.connect([&] {
        if (connections.size() == 1) connections.push_back(signal.connect([&] { ++added; }));
    }));
    signal.emit();
    EXPECT_EQ(added, 0);
    signal.emit();
    EXPECT_EQ(added, 1);
}

TEST(Signal, ReleasedConnectionLivesWithTheSignalAndOutlivingIsSafe) {
    int calls = 0;
    Connection outlives;
    {
        Signal<> signal;
        signal.connect([&] { ++calls; }).release();
        outlives = signal.connect([&] { ++calls; });
        signal.emit();
        EXPECT_EQ(calls, 2);
    }
    EXPECT_FALSE(outlives.isConnected());
    outlives.disconnect();  // the signal is gone: nothing happens
}

TEST(Signal, EmitFromManyThreadsWhileConnecting) {
    Signal<int> signal;
    std::atomic<int> total{0};
    auto base = signal.connect([&](int n) { total += n; });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                auto temporary = signal.connect([](int) {});
                signal.emit(1);
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(total, 2000);
    EXPECT_EQ(signal.slotCount(), 1u);
}

TEST(Guarded, WithLockSerialisesChanges) {
    Guarded<std::vector<int>> values;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 1000; ++i) values.withLock([&](auto& v) { v.push_back(t); });
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(values.withLock([](const auto& v) { return v.size(); }), 4000u);
    EXPECT_EQ(values.exchange({}).size(), 4000u);
    EXPECT_TRUE(values.get().empty());
}

}  // namespace
