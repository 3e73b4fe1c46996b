#include <gtest/gtest.h>

#include <algorithm>

#include "app/System/KeepAwake.hpp"
#include "platform/concurrency/fake/ManualScheduler.hpp"
#include "platform/desktop/fake/FakePowerAssertion.hpp"
#include "platform/foundation/fake/InMemoryUserDefaults.hpp"
#include "platform/input/fake/FakeKeySynth.hpp"
#include "tests/app/Dictation/DictationFixture.hpp"

namespace {

using Parlox::KeepAwake;
using Key = platform::input::FakeKeySynth::Key;

class KeepAwakeTest : public ::testing::Test {
protected:
    void SetUp() override { previous = platform::UserDefaults::setStandard(defaults); }
    void TearDown() override { platform::UserDefaults::setStandard(previous); }

    std::unique_ptr<KeepAwake> make() {
        auto keepAwake = std::make_unique<KeepAwake>(power, keys, scheduler);
        changes = keepAwake->changed().connect([this] { ++changeCount; });
        return keepAwake;
    }
    size_t nudges() const {
        const auto posted = keys->keys();
        return static_cast<size_t>(std::count(posted.begin(), posted.end(), Key::nudgePointer));
    }

    std::shared_ptr<platform::InMemoryUserDefaults> defaults = std::make_shared<platform::InMemoryUserDefaults>();
    std::shared_ptr<platform::UserDefaults> previous;
    std::shared_ptr<platform::desktop::FakePowerAssertion> power =
        std::make_shared<platform::desktop::FakePowerAssertion>();
    std::shared_ptr<platform::input::FakeKeySynth> keys = std::make_shared<platform::input::FakeKeySynth>();
    std::shared_ptr<platform::ManualScheduler> scheduler = std::make_shared<platform::ManualScheduler>();
    dictation_test::LogCapture log;
    platform::Connection changes;
    int changeCount = 0;
};

TEST_F(KeepAwakeTest, SwitchingOnHoldsOneAssertionAndOneTimerUntilSwitchedOff) {
    auto keepAwake = make();
    EXPECT_FALSE(keepAwake->isOn());
    keepAwake->set(true);
    keepAwake->set(true);
    EXPECT_TRUE(keepAwake->isOn());
    EXPECT_EQ(power->held.size(), 1u);
    EXPECT_EQ(power->reasons, (std::vector<std::string>{"Parlox: mantener el ordenador despierto"}));
    EXPECT_EQ(scheduler->pendingTimerDelays(), (std::vector<double>{10.0}));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"Mantener despierto: activado"}));
    EXPECT_EQ(changeCount, 1);

    keepAwake->set(false);
    keepAwake->set(false);
    EXPECT_FALSE(keepAwake->isOn());
    EXPECT_TRUE(power->held.empty());
    EXPECT_TRUE(scheduler->pendingTimerDelays().empty());
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"Mantener despierto: activado", "Mantener despierto: desactivado"}));
    EXPECT_EQ(changeCount, 2);
}

TEST_F(KeepAwakeTest, ARefusedAssertionIsLoggedAndLeavesTheFeatureOff) {
    power->refuse = true;
    auto keepAwake = make();
    keepAwake->set(true);
    EXPECT_FALSE(keepAwake->isOn());
    EXPECT_TRUE(scheduler->pendingTimerDelays().empty());
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"Mantener despierto: refused by the desktop: inhibit refused"}));
    EXPECT_EQ(changeCount, 0);

    // Nothing is left half on: the next attempt starts afresh.
    power->refuse = false;
    keepAwake->set(true);
    EXPECT_TRUE(keepAwake->isOn());
    EXPECT_EQ(power->held.size(), 1u);
}

TEST_F(KeepAwakeTest, ThePointerIsNudgedEveryTenSecondsOnlyAfterFiveIdleMinutes) {
    struct Case {
        double idle;
        size_t nudges;  // in 30 s
    };
    const Case cases[] = {{0, 0}, {299, 0}, {299.9, 0}, {300, 3}, {3600, 3}};
    for (const Case& c : cases) {
        keys->clear();
        power->idle = c.idle;
        auto keepAwake = make();
        keepAwake->set(true);
        scheduler->advance(9.9);
        EXPECT_EQ(nudges(), 0u) << c.idle;
        scheduler->advance(20.1);
        EXPECT_EQ(nudges(), c.nudges) << c.idle;
        keepAwake->set(false);
        scheduler->advance(60);
        EXPECT_EQ(nudges(), c.nudges) << "after switching off, idle " << c.idle;
    }
}

TEST_F(KeepAwakeTest, TheUnlockedFlagIsReadAtStartAndStoredOnEveryAssignment) {
    struct Case {
        std::optional<bool> stored;
        bool unlocked;
    };
    for (const Case& c : {Case{std::nullopt, false}, Case{false, false}, Case{true, true}}) {
        if (c.stored) defaults->set("keepAwakeUnlocked", *c.stored);
        else defaults->remove("keepAwakeUnlocked");
        EXPECT_EQ(make()->isUnlocked(), c.unlocked);
    }

    defaults->remove("keepAwakeUnlocked");
    auto keepAwake = make();
    keepAwake->setUnlocked(false);  // the same value is written all the same
    EXPECT_EQ(defaults->optionalBool("keepAwakeUnlocked"), false);
    EXPECT_EQ(changeCount, 0);
    keepAwake->setUnlocked(true);
    EXPECT_TRUE(keepAwake->isUnlocked());
    EXPECT_EQ(defaults->optionalBool("keepAwakeUnlocked"), true);
    EXPECT_EQ(changeCount, 1);
    EXPECT_FALSE(keepAwake->isOn());  // unlocking shows the switch, it does not turn it on
}

TEST_F(KeepAwakeTest, LockingSwitchesOff) {
    defaults->set("keepAwakeUnlocked", true);
    auto keepAwake = make();
    keepAwake->set(true);
    keepAwake->setUnlocked(false);
    EXPECT_FALSE(keepAwake->isUnlocked());
    EXPECT_FALSE(keepAwake->isOn());
    EXPECT_TRUE(power->held.empty());
    EXPECT_TRUE(scheduler->pendingTimerDelays().empty());
    EXPECT_EQ(log.lines().back(), "Mantener despierto: desactivado");
    EXPECT_EQ(defaults->optionalBool("keepAwakeUnlocked"), false);
}

TEST_F(KeepAwakeTest, GoingAwayGivesTheAssertionBack) {
    make()->set(true);
    EXPECT_TRUE(power->held.empty());
    EXPECT_TRUE(scheduler->pendingTimerDelays().empty());
    scheduler->advance(60);  // a timer left behind would reach a dead object
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"Mantener despierto: activado"}));
}

}  // namespace
