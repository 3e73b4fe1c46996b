#include <gtest/gtest.h>

#include "app/Debug/OverlayDemo.hpp"
#include "app/Overlay/fake/FakeOverlayController.hpp"
#include "platform/concurrency/fake/ManualScheduler.hpp"

namespace Parlox {
namespace {

using State = OverlayModel::State;

TEST(OverlayDemo, MadeUpVoiceLevels) {
    // max(0, sin 0.9t) x (0.5 + 0.5 sin 4.3t sin 11t): silent while the slow wave is below zero.
    const std::pair<double, float> cases[] = {
        {0, 0.0f}, {0.5, 0.0890666f}, {1, 0.7504887f}, {2, 0.4837586f}, {3, 0.2836618f}, {4, 0.0f}, {6.5, 0.0f},
    };
    for (const auto& [t, level] : cases) EXPECT_NEAR(OverlayDemo::level(t), level, 1e-6) << t;
}

TEST(OverlayDemo, WalksThroughTheStatesOnTheIndicator) {
    auto scheduler = std::make_shared<platform::ManualScheduler>();
    FakeOverlayController overlay(scheduler);
    std::vector<std::pair<double, State>> seen;
    auto connection = overlay.model().stateChanged().connect(
        [&] { seen.emplace_back(scheduler->elapsed(), overlay.model().state()); });
    int levels = 0;
    auto levelConnection = overlay.model().levelChanged().connect([&] { ++levels; });
    bool done = false;
    auto demo = OverlayDemo::run(overlay, scheduler, [&] { done = true; });
    EXPECT_TRUE(overlay.visible);
    EXPECT_EQ(overlay.shows.front(), std::nullopt);

    scheduler->advance(30);
    EXPECT_TRUE(done);
    const std::vector<std::pair<double, State>> expected = {
        {0, State::recording()},
        {7.04, State::paused()},
        {9.54, State::working("Redactando\u2026")},
        {13.54, State::hidden()},
        {16.04, State::error("Sin respuesta", true)},
        {19.04, State::hidden()},
    };
    ASSERT_EQ(seen.size(), expected.size());
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_NEAR(seen[i].first, expected[i].first, 1e-6) << i;
        EXPECT_EQ(seen[i].second, expected[i].second) << i;
    }
    // A reading every 0.08 s while recording; the clock stood from the pause on.
    EXPECT_GT(levels, 40);
    EXPECT_EQ(overlay.model().level(), 0.0f);
    EXPECT_NEAR(overlay.model().elapsed(scheduler->now()), 7.04, 1e-6);
    // The error was shown again after the hidden pause, and everything ends hidden.
    EXPECT_EQ(overlay.shows.size(), 2u);
    EXPECT_FALSE(overlay.visible);
}

TEST(OverlayDemo, ADroppedDemoIsGoneAndWalksNoFurther) {
    auto scheduler = std::make_shared<platform::ManualScheduler>();
    FakeOverlayController overlay(scheduler);
    bool done = false;
    std::weak_ptr<OverlayDemo> left = OverlayDemo::run(overlay, scheduler, [&] { done = true; });
    // Its pending step does not keep it.
    EXPECT_TRUE(left.expired());
    scheduler->advance(30);
    EXPECT_FALSE(done);
    EXPECT_EQ(overlay.model().state(), State::recording());
}

}  // namespace
}  // namespace Parlox
