#include <gtest/gtest.h>

#include <memory>

#include "app/Overlay/OverlayModel.hpp"
#include "app/Overlay/fake/FakeOverlayController.hpp"
#include "platform/concurrency/fake/ManualScheduler.hpp"

using Parlox::FakeOverlayController;
using Parlox::OverlayModel;
using State = OverlayModel::State;

namespace {

struct Counts {
    int state = 0, level = 0, glow = 0, clock = 0, actions = 0;
};

class OverlayModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        connections.push_back(model.stateChanged().connect([this] { ++counts.state; }));
        connections.push_back(model.levelChanged().connect([this] { ++counts.level; }));
        connections.push_back(model.glowChanged().connect([this] { ++counts.glow; }));
        connections.push_back(model.clockChanged().connect([this] { ++counts.clock; }));
        connections.push_back(model.actionsChanged().connect([this] { ++counts.actions; }));
    }
    void wait(double seconds) { now = platform::addingSeconds(now, seconds); }

    platform::Date now = platform::Date(std::chrono::seconds(1'700'000'000));
    OverlayModel model{[this] { return now; }};
    Counts counts;
    std::vector<platform::Connection> connections;
};

TEST_F(OverlayModelTest, StartsHiddenSilentAndStopped) {
    EXPECT_EQ(model.state(), State::hidden());
    EXPECT_EQ(model.level(), 0.0f);
    EXPECT_EQ(model.glow(), 0.0f);
    EXPECT_EQ(model.elapsed(now), 0.0);
    EXPECT_EQ(model.elapsed(platform::addingSeconds(now, 99)), 0.0);
}

TEST_F(OverlayModelTest, StateAnnouncesOnlyRealChanges) {
    model.setState(State::recording());
    model.setState(State::recording());
    EXPECT_EQ(counts.state, 1);
    model.setState(State::error("Sin sesión", true));
    model.setState(State::error("Sin sesión", false));  // canRetry differs: a change
    model.setState(State::error("Sin sesión", false));
    EXPECT_EQ(counts.state, 3);
    EXPECT_NE(State::done("a"), State::working("a"));
}

TEST_F(OverlayModelTest, GlowRisesAtOnceAndFallsByTheFactor) {
    model.setLevel(1.0f);
    EXPECT_EQ(model.glow(), 1.0f);
    model.setLevel(0.0f);
    EXPECT_NEAR(model.glow(), 0.72f, 1e-6);
    model.setLevel(0.0f);  // same level: no level notice, the glow still moves
    EXPECT_NEAR(model.glow(), 0.5184f, 1e-6);
    EXPECT_EQ(counts.level, 2);
    EXPECT_EQ(counts.glow, 3);

    OverlayModel other;
    other.setLevel(0.2f);
    other.setLevel(0.1f);
    ASSERT_GT(other.glow(), 0.1f);
    other.setLevel(0.5f);
    EXPECT_EQ(other.glow(), 0.5f);
}

TEST_F(OverlayModelTest, ClockCountsOnlyRecordedTime) {
    model.startClock();
    wait(3);
    model.pauseClock();
    model.pauseClock();  // a second pause keeps the first result
    EXPECT_DOUBLE_EQ(model.accumulated(), 3.0);
    wait(10);
    model.resumeClock();
    const auto started = model.runningSince();
    wait(1);
    model.resumeClock();  // already running: the start stays
    EXPECT_EQ(model.runningSince(), started);
    wait(1);
    EXPECT_DOUBLE_EQ(model.elapsed(now), 5.0);
    model.pauseClock();
    wait(30);
    EXPECT_DOUBLE_EQ(model.elapsed(now), 5.0);  // kept until the next start
    model.startClock();
    EXPECT_DOUBLE_EQ(model.elapsed(now), 0.0);
}

TEST_F(OverlayModelTest, ActionsDefaultToNothingAndAlwaysAnnounce) {
    model.onStop()();  // does nothing, does not throw
    int stops = 0;
    model.setOnStop([&] { ++stops; });
    model.setOnStop([&] { ++stops; });
    model.onStop()();
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(counts.actions, 2);
}

class FakeOverlayTest : public ::testing::Test {
protected:
    std::shared_ptr<platform::ManualScheduler> scheduler = std::make_shared<platform::ManualScheduler>();
    FakeOverlayController overlay{scheduler};
};

TEST_F(FakeOverlayTest, TimedHideAppliesOnlyToTheStateSeen) {
    overlay.model().setState(State::error("Error", false));
    overlay.show(std::nullopt);
    overlay.hide(8);
    scheduler->advance(7.9);
    EXPECT_EQ(overlay.model().state(), State::error("Error", false));
    scheduler->advance(0.1);
    EXPECT_EQ(overlay.model().state(), State::hidden());
    scheduler->advance(Parlox::OverlayHideTimer::removalDelay);
    EXPECT_FALSE(overlay.visible);
    EXPECT_FALSE(overlay.anchor.has_value());

    overlay.model().setState(State::error("Error", false));
    overlay.show(platform::Rect{10, 10, 1, 10});
    overlay.hide(8);
    scheduler->advance(2);
    overlay.model().setState(State::recording());  // a new recording before 8 s
    scheduler->advance(10);
    EXPECT_EQ(overlay.model().state(), State::recording());
    EXPECT_TRUE(overlay.visible);
}

TEST_F(FakeOverlayTest, ShowCancelsThePendingHideAndKeepsItsAnchorWithoutRectangle) {
    overlay.model().setState(State::done("Copiado"));
    overlay.show(platform::Rect{100, 200, 1, 16});
    overlay.hide(2.5);
    overlay.show(std::nullopt);
    scheduler->advance(5);
    EXPECT_EQ(overlay.model().state(), State::done("Copiado"));
    EXPECT_EQ(overlay.anchor, (platform::Rect{100, 200, 1, 16}));

    overlay.hideAtOnce();
    EXPECT_FALSE(overlay.visible);
    overlay.show(std::nullopt);  // off screen: placed at the mouse
    EXPECT_EQ(overlay.anchor, (platform::Rect{500, 400, 0, 0}));
}

TEST_F(FakeOverlayTest, ARecordingRightAfterHiddenKeepsThePanel) {
    overlay.model().setState(State::recording());
    overlay.show(platform::Rect{1, 1, 1, 1});
    overlay.model().setState(State::hidden());
    scheduler->advance(0.1);
    overlay.model().setState(State::recording());
    overlay.show(platform::Rect{2, 2, 1, 1});
    scheduler->advance(1);
    EXPECT_TRUE(overlay.visible);
    EXPECT_EQ(overlay.anchor, (platform::Rect{2, 2, 1, 1}));
}

}  // namespace
