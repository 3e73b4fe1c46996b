#include "platform/concurrency/Channel.hpp"

#include <cmath>
#include <limits>
#include <memory>
#include <numeric>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

using platform::Channel;

TEST(Channel, DeliversInOrderThenDrainsAfterClose) {
    Channel<std::string> channel;
    EXPECT_TRUE(channel.send("a"));
    EXPECT_TRUE(channel.send("b"));
    channel.close();
    EXPECT_FALSE(channel.send("c"));
    EXPECT_TRUE(channel.isClosed());
    EXPECT_EQ(channel.receive(), "a");
    EXPECT_EQ(channel.receive(), "b");
    EXPECT_EQ(channel.receive(), std::nullopt);
    EXPECT_EQ(channel.tryReceive(), std::nullopt);
}

TEST(Channel, BlockedReceiverWakesOnCloseAndOnStop) {
    Channel<int> channel;
    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        channel.close();
    });
    EXPECT_EQ(channel.receive(), std::nullopt);
    closer.join();

    Channel<int> open;
    std::stop_source stop;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        stop.request_stop();
    });
    EXPECT_EQ(open.receive(stop.get_token()), std::nullopt);
    stopper.join();
    EXPECT_FALSE(open.isClosed());
    // Still usable after a stopped receive.
    open.send(5);
    EXPECT_EQ(open.receive(), 5);
}

TEST(Channel, ReceiveForGivesUp) {
    Channel<int> channel;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(channel.receiveFor(0.03), std::nullopt);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    channel.send(1);
    EXPECT_EQ(channel.receiveFor(1), 1);
    EXPECT_EQ(channel.receiveFor(std::nan("")), std::nullopt);
    EXPECT_EQ(channel.receiveFor(-1), std::nullopt);
    // Infinity waits for the value instead of overflowing into "at once".
    std::thread sender([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        channel.send(2);
    });
    EXPECT_EQ(channel.receiveFor(std::numeric_limits<double>::infinity()), 2);
    sender.join();
}

TEST(Channel, ManyProducersOneConsumerLoseNothing) {
    auto channel = std::make_shared<Channel<int>>();
    std::vector<std::thread> producers;
    for (int p = 0; p < 4; ++p)
        producers.emplace_back([channel, p] {
            for (int i = 0; i < 1000; ++i) channel->send(p * 1000 + i);
        });
    std::thread closer([&] {
        for (auto& producer : producers) producer.join();
        channel->close();
    });
    long long sum = 0;
    size_t count = 0;
    while (auto value = channel->receive()) {
        sum += *value;
        ++count;
    }
    closer.join();
    EXPECT_EQ(count, 4000u);
    EXPECT_EQ(sum, 3999LL * 4000 / 2);
}

TEST(Channel, FinishWithAnErrorRethrowsAfterTheValues) {
    Channel<int> channel;
    channel.send(1);
    channel.finish(std::make_exception_ptr(std::runtime_error("lectura fallida")));
    EXPECT_FALSE(channel.send(2));
    EXPECT_EQ(channel.receive(), 1);
    EXPECT_THROW(channel.receive(), std::runtime_error);
    EXPECT_THROW(channel.tryReceive(), std::runtime_error);  // every time after
}

TEST(Channel, TerminationHandlerRunsOnceForEveryWayToEnd) {
    int closed = 0;
    {
        Channel<int> channel;
        channel.setOnTermination([&] { ++closed; });
        channel.close();
        channel.close();
        channel.cancel();
    }
    EXPECT_EQ(closed, 1);

    int cancelled = 0;
    Channel<int> consumerGivesUp;
    consumerGivesUp.setOnTermination([&] { ++cancelled; });
    consumerGivesUp.send(1);
    consumerGivesUp.cancel();
    EXPECT_EQ(cancelled, 1);
    EXPECT_EQ(consumerGivesUp.receive(), std::nullopt);  // queued values were dropped

    int destroyed = 0;
    {
        Channel<int> channel;
        channel.setOnTermination([&] { ++destroyed; });
    }
    EXPECT_EQ(destroyed, 1);

    int late = 0;
    Channel<int> ended;
    ended.close();
    ended.setOnTermination([&] { ++late; });
    EXPECT_EQ(late, 1);
}

TEST(Channel, MoveOnlyValues) {
    Channel<std::unique_ptr<int>> channel;
    channel.send(std::make_unique<int>(7));
    auto value = channel.receive();
    ASSERT_TRUE(value && *value);
    EXPECT_EQ(**value, 7);
}

}  // namespace
