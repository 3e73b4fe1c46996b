#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "ZezeziCore/EarlyStopActor.hpp"
#include "ZezeziCore/PropertyLock.hpp"
#include "ZezeziCore/Protected.hpp"
#include "ZezeziCore/WeakSendableWrapper.hpp"

using namespace ZezeziCore;

TEST(UnfairLockTests, ThrowingBodyLeavesTheLockFree) {
    UnfairLock lock;
    EXPECT_THROW(lock.withLock([]() -> int { throw std::runtime_error("x"); }), std::runtime_error);
    EXPECT_EQ(lock.withLock([] { return 7; }), 7);
}

TEST(PropertyLockTests, EncodesAsTheBareValueAndDecodesFresh) {
    struct Record {
        PropertyLock<std::string> text{"abc"};
    };
    Record r;
    nlohmann::json guarded = {{"text", r.text}};
    nlohmann::json plain = {{"text", std::string("abc")}};
    EXPECT_EQ(guarded.dump(), plain.dump());
    auto back = plain["text"].get<PropertyLock<std::string>>();
    EXPECT_EQ(back.wrappedValue(), "abc");
    EXPECT_THROW(nlohmann::json(5).get<PropertyLock<std::string>>(), nlohmann::json::exception);
    PropertyLock<std::optional<int>> none;
    EXPECT_EQ(nlohmann::json(none).dump(), "null");
}

TEST(PropertyLockTests, ModifyLosesNoConcurrentUpdate) {
    PropertyLock<std::vector<int>> list;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) list.modify([&](std::vector<int>& v) { v.push_back(i); });
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(list.wrappedValue().size(), 16000u);
}

TEST(PropertyLockTests, InPlaceChangeWritesBackEvenWhenTheChangeThrows) {
    PropertyLock<int> value(1);
    value.changeInPlace([](int& v) { v += 1; });
    EXPECT_EQ(value.wrappedValue(), 2);
    EXPECT_THROW(value.changeInPlace([](int& v) {
        v = 10;
        throw std::runtime_error("x");
    }),
                 std::runtime_error);
    EXPECT_EQ(value.wrappedValue(), 10);
}

TEST(ProtectedTests, CopiesShareTheValue) {
    Protected<std::optional<int>> a;
    EXPECT_FALSE(a.wrappedValue());
    auto b = a;
    b.setWrappedValue(3);
    EXPECT_EQ(a.wrappedValue(), 3);
    a.modify([](std::optional<int>& v) { *v += 1; });
    EXPECT_EQ(b.wrappedValue(), 4);
}

TEST(WeakSendableWrapperTests, ReadsNullOnceTheObjectIsGone) {
    auto object = std::make_shared<int>(5);
    WeakSendableWrapper<int> box(object);
    EXPECT_EQ(*box.value(), 5);
    object.reset();
    EXPECT_EQ(box.value(), nullptr);
}

TEST(EarlyStopActorTests, FlagsPerWindow) {
    EarlyStopActor actor;
    platform::UUID a, b;
    EXPECT_FALSE(actor.get(a));
    EXPECT_EQ(actor.count(), 0u);
    EXPECT_FALSE(actor.remove(a));
    actor.set(true, a);
    actor.set(false, a);
    EXPECT_EQ(actor.count(), 1u);
    EXPECT_FALSE(actor.get(a));
    actor.set(true, b);
    EXPECT_TRUE(actor.get(b));
    EXPECT_EQ(actor.remove(b), true);
    EXPECT_EQ(actor.count(), 1u);
    EXPECT_GE(ConcurrencyUtilities::activeProcessorCount(), 1);
}
