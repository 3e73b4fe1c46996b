#include <gtest/gtest.h>

#include "Fixture.hpp"
#include "platform/log/SystemLog.hpp"

namespace GlobalKeyBindings {
namespace {

using testing::BindingsTest;
using testing::kEscape;
using testing::kKeypadEnter;
using testing::kOption;
using testing::kOptionSpace;
using testing::kReturn;
using testing::kToggle;

const Name kCancel("cancel", kEscape);
const Name kAccept("accept", kReturn);
const Name kAcceptKeypad("acceptKeypad", kKeypadEnter);

constexpr int kSpace = 49;
constexpr int kEscapeCode = 53;

class HandlersTest : public BindingsTest {
protected:
    void SetUp() override {
        BindingsTest::SetUp();
        for (const auto& name : {kToggle, kCancel, kAccept, kAcceptKeypad}) declare(name);
    }
};

// The application's wiring: four names, only the toggle live at rest.
TEST_F(HandlersTest, OnlyTheToggleIsTakenAtRestAndEscapeOnlyWhileEnabled) {
    int toggles = 0, cancels = 0, accepts = 0;
    onKeyDown(kToggle, [&] { ++toggles; });
    onKeyDown(kCancel, [&] { ++cancels; });
    onKeyDown(kAccept, [&] { ++accepts; });
    onKeyDown(kAcceptKeypad, [&] { ++accepts; });
    disable({kCancel, kAccept, kAcceptKeypad});

    EXPECT_EQ(service->registeredCount(), 1u);
    EXPECT_TRUE(service->isRegistered(kSpace, kOption));
    EXPECT_FALSE(service->isRegistered(kEscapeCode, 0));
    EXPECT_TRUE(isEnabled(kToggle));
    EXPECT_FALSE(isEnabled(kCancel));

    EXPECT_TRUE(service->tap(kSpace, kOption));
    EXPECT_EQ(toggles, 1);
    EXPECT_FALSE(service->tap(kEscapeCode, 0));
    EXPECT_EQ(cancels, 0);

    enable(kCancel);
    EXPECT_TRUE(service->isRegistered(kEscapeCode, 0));
    EXPECT_TRUE(service->tap(kEscapeCode, 0));
    EXPECT_EQ(cancels, 1);
    disable(kCancel);
    EXPECT_FALSE(service->isRegistered(kEscapeCode, 0));

    enable({kAccept, kAcceptKeypad});
    EXPECT_TRUE(service->tap(36, 0));
    EXPECT_TRUE(service->tap(76, 0));
    EXPECT_EQ(accepts, 2);
}

TEST_F(HandlersTest, KeyUpHandlersFireOnRelease) {
    std::vector<std::string> seen;
    onKeyDown(kToggle, [&] { seen.push_back("down"); });
    onKeyUp(kToggle, [&] { seen.push_back("up"); });
    service->press(kSpace, kOption);
    service->press(kSpace, kOption);  // held: no second press
    service->release(kSpace);
    EXPECT_EQ(seen, (std::vector<std::string>{"down", "up"}));
}

TEST_F(HandlersTest, NamesSharingAShortcutShareOneHotKey) {
    const Name other("other");
    setShortcut(kOptionSpace, other);
    int a = 0, b = 0;
    onKeyDown(kToggle, [&] { ++a; });
    onKeyDown(other, [&] { ++b; });
    EXPECT_EQ(service->registeredCount(), 1u);
    service->tap(kSpace, kOption);
    EXPECT_EQ(a + b, 2);

    disable({other});
    EXPECT_TRUE(service->isRegistered(kSpace, kOption));
    service->tap(kSpace, kOption);
    EXPECT_EQ(a, 2);
    EXPECT_EQ(b, 1);  // disabled, though its key stays registered for the toggle

    enable({other});
    service->tap(kSpace, kOption);
    EXPECT_EQ(b, 2);

    removeHandler(kToggle);
    EXPECT_TRUE(service->isRegistered(kSpace, kOption));
    removeHandler(other);
    EXPECT_EQ(service->registeredCount(), 0u);
}

TEST_F(HandlersTest, ChangingTheStoredShortcutMovesTheHotKey) {
    int fired = 0;
    onKeyDown(kToggle, [&] { ++fired; });
    const Shortcut commandK(Key::k, ModifierFlags::command);
    setShortcut(commandK, kToggle);
    EXPECT_FALSE(service->isRegistered(kSpace, kOption));
    EXPECT_TRUE(service->isRegistered(40, 0x100));
    service->tap(40, 0x100);
    EXPECT_EQ(fired, 1);

    setShortcut(std::nullopt, kToggle);
    EXPECT_EQ(service->registeredCount(), 0u);
    EXPECT_FALSE(isEnabled(kToggle));
    reset({kToggle});
    EXPECT_TRUE(service->isRegistered(kSpace, kOption));
}

TEST_F(HandlersTest, ARefusedGrabIsReportedAndRetriedLater) {
    std::vector<std::pair<Shortcut, platform::input::RegistrationStatus>> failures;
    auto connection = registrationDidFail().connect(
        [&](const Shortcut& s, const platform::input::RegistrationResult& r) {
            failures.emplace_back(s, r.status);
        });
    service->takeByAnotherClient(kSpace, kOption);
    int fired = 0;
    onKeyDown(kToggle, [&] { ++fired; });
    EXPECT_FALSE(isEnabled(kToggle));
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].first, kOptionSpace);
    EXPECT_EQ(failures[0].second, platform::input::RegistrationStatus::takenByAnotherClient);
    EXPECT_FALSE(hasHotKey(kOptionSpace));

    service->releaseByAnotherClient(kSpace, kOption);
    enable({kToggle});
    EXPECT_TRUE(isEnabled(kToggle));
    service->tap(kSpace, kOption);
    EXPECT_EQ(fired, 1);
}

TEST_F(HandlersTest, PausingUnregistersEverythingAndFiresNothing) {
    int fired = 0;
    onKeyDown(kToggle, [&] { ++fired; });
    setPaused(true);
    EXPECT_EQ(service->registeredCount(), 0u);
    EXPECT_EQ(hotKeyCenter().mode(), HotKeyCenter::Mode::disabled);
    EXPECT_TRUE(hasHotKey(kOptionSpace));  // kept, only unregistered
    EXPECT_FALSE(service->tap(kSpace, kOption));
    setPaused(false);
    EXPECT_TRUE(service->tap(kSpace, kOption));
    EXPECT_EQ(fired, 1);

    setEnabled(false);
    EXPECT_FALSE(isEnabled(kToggle));
    EXPECT_EQ(service->registeredCount(), 0u);
    setEnabled(true);
    EXPECT_TRUE(isEnabled(kToggle));
}

TEST_F(HandlersTest, AKeyLostWhilePausedIsDroppedAndReported) {
    int failures = 0;
    auto connection = registrationDidFail().connect(
        [&](const Shortcut&, const platform::input::RegistrationResult&) { ++failures; });
    onKeyDown(kToggle, [] {});
    setPaused(true);
    service->takeByAnotherClient(kSpace, kOption);
    setPaused(false);
    EXPECT_FALSE(hasHotKey(kOptionSpace));
    EXPECT_FALSE(isEnabled(kToggle));
    EXPECT_EQ(failures, 1);
    service->releaseByAnotherClient(kSpace, kOption);
    enable({kToggle});
    EXPECT_TRUE(isEnabled(kToggle));
}

TEST_F(HandlersTest, AHandlerMayDisableItsOwnName) {
    int fired = 0;
    onKeyDown(kCancel, [&] {
        ++fired;
        disable({kCancel});
    });
    service->tap(kEscapeCode, 0);
    service->tap(kEscapeCode, 0);
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(service->isRegistered(kEscapeCode, 0));
}

TEST_F(HandlersTest, StreamsDeliverEventsAndReleaseTheirKeyWhenDropped) {
    {
        auto stream = events(kCancel);
        EXPECT_TRUE(service->isRegistered(kEscapeCode, 0));
        service->tap(kEscapeCode, 0);
        EXPECT_EQ(stream.tryReceive(), EventType::keyDown);
        EXPECT_EQ(stream.tryReceive(), EventType::keyUp);
        EXPECT_FALSE(stream.tryReceive());

        auto ups = events(EventType::keyUp, kCancel);
        service->tap(kEscapeCode, 0);
        EXPECT_EQ(ups.tryReceive(), EventType::keyUp);
        EXPECT_FALSE(ups.tryReceive());
    }
    EXPECT_TRUE(service->isRegistered(kEscapeCode, 0));  // removal waits for the main thread
    platform::MainRunLoop::drainMain();
    EXPECT_FALSE(service->isRegistered(kEscapeCode, 0));
}

TEST_F(HandlersTest, AShortcutStreamOutlivesDisabledNames) {
    onKeyDown(kToggle, [] {});
    auto stream = events(kOptionSpace);
    disable({kToggle});
    EXPECT_TRUE(service->isRegistered(kSpace, kOption));
    service->tap(kSpace, kOption);
    EXPECT_EQ(stream.tryReceive(), EventType::keyDown);
}

TEST_F(HandlersTest, RemovingAllHandlersKeepsStreams) {
    int fired = 0;
    onKeyDown(kToggle, [&] { ++fired; });
    onKeyDown(kCancel, [&] { ++fired; });
    auto stream = events(kToggle);
    removeAllHandlers();
    EXPECT_TRUE(service->isRegistered(kSpace, kOption));
    EXPECT_FALSE(service->isRegistered(kEscapeCode, 0));
    service->tap(kSpace, kOption);
    EXPECT_EQ(fired, 0);
    EXPECT_EQ(stream.tryReceive(), EventType::keyDown);
}

TEST_F(HandlersTest, AMovedStreamEndsOnce) {
    auto first = events(kCancel);
    EventStream second = std::move(first);
    first.cancel();  // moved from: ends nothing
    platform::MainRunLoop::drainMain();
    EXPECT_TRUE(service->isRegistered(kEscapeCode, 0));
    service->tap(kEscapeCode, 0);
    EXPECT_EQ(second.tryReceive(), EventType::keyDown);
    second.cancel();
    EXPECT_EQ(second.receive(), EventType::keyUp);  // what was queued still comes
    EXPECT_FALSE(second.receive());                 // then the end, without blocking
    platform::MainRunLoop::drainMain();
    EXPECT_FALSE(service->isRegistered(kEscapeCode, 0));
}

TEST_F(HandlersTest, StreamReadFromAnotherThread) {
    auto stream = events(kToggle);
    std::optional<EventType> got;
    std::thread reader([&] { got = stream.receiveFor(5); });
    service->press(kSpace, kOption);
    reader.join();
    EXPECT_EQ(got, EventType::keyDown);
}

class RepeatTest : public HandlersTest {
protected:
    void SetUp() override {
        HandlersTest::SetUp();
        service->repeat = {0.06, 0.02};
    }
    // Counts ticks while the main loop runs for `seconds`.
    static int ticksDuring(RepeatingEventStream& stream, double seconds) {
        int ticks = 0;
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        platform::MainRunLoop().runUntil(
            [&] {
                while (stream.tryReceive()) ++ticks;
                return std::chrono::steady_clock::now() >= until;
            },
            seconds + 1);
        while (stream.tryReceive()) ++ticks;
        return ticks;
    }
};

TEST_F(RepeatTest, AShortPressGivesOneTick) {
    auto stream = repeatingKeyDownEvents(kToggle);
    service->press(kSpace, kOption);
    service->release(kSpace);
    EXPECT_EQ(ticksDuring(stream, 0.15), 1);
}

TEST_F(RepeatTest, AHeldKeyRepeatsAfterTheDelay) {
    auto stream = repeatingKeyDownEvents(kToggle);
    service->press(kSpace, kOption);
    EXPECT_TRUE(stream.tryReceive());
    // Timers run only while the main loop does, and a loaded machine runs
    // them late: wait for the repeats themselves. The bound stays well below
    // what a delay or interval read in the wrong unit would take.
    int ticks = 0;
    platform::MainRunLoop().runUntil(
        [&] {
            while (stream.tryReceive()) ++ticks;
            return ticks >= 2;
        },
        10);
    EXPECT_GE(ticks, 2);
    service->release(kSpace);
    platform::MainRunLoop::drainMain();
    while (stream.tryReceive()) {
    }
    EXPECT_EQ(ticksDuring(stream, 0.1), 0);
}

TEST_F(RepeatTest, ChangingTheShortcutWhileHeldStopsTheRepeat) {
    auto stream = repeatingKeyDownEvents(kToggle);
    service->press(kSpace, kOption);
    setShortcut(Shortcut(Key::k, ModifierFlags::command), kToggle);
    EXPECT_EQ(ticksDuring(stream, 0.15), 1);  // only the press itself
}

TEST_F(RepeatTest, ATerminatedStreamEndsAndReleasesItsKey) {
    {
        auto stream = repeatingKeyDownEvents(kOptionSpace);
        EXPECT_TRUE(service->isRegistered(kSpace, kOption));
        service->press(kSpace, kOption);
    }
    platform::MainRunLoop().runFor(0.1);
    EXPECT_FALSE(service->isRegistered(kSpace, kOption));
}

}  // namespace
}  // namespace GlobalKeyBindings
