#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "app/Overlay/OverlayController.hpp"
#include "app/Overlay/OverlayHideTimer.hpp"
#include "platform/concurrency/Scheduler.hpp"

namespace Parlox {

// The indicator without a window, for tests: the same placement decisions
// and timed hides as the real one, on the given scheduler, with a visible
// flag and the anchor instead of a panel, and a record of every call.
class FakeOverlayController final : public OverlayController {
public:
    FakeOverlayController(std::shared_ptr<platform::Scheduler> scheduler,
                          platform::Rect mouse = platform::Rect{500, 400, 0, 0})
        : model_(std::make_unique<OverlayModel>([scheduler] { return scheduler->now(); })),
          timer_(*model_, scheduler),
          mouse_(mouse) {
        // Leaves the screen shortly after the state turns hidden.
        observation_ = model_->stateChanged().connect([this] {
            if (model_->state().kind != OverlayModel::State::Kind::hidden) return;
            timer_.removeAfterDelay([this] {
                visible = false;
                anchor.reset();
            });
        });
    }

    OverlayModel& model() override { return *model_; }

    void show(std::optional<platform::Rect> near) override {
        shows.push_back(near);
        timer_.cancel();
        if (visible && !near && anchor) return;
        anchor = near ? *near : mouse_;
        visible = true;
    }
    void hide(double seconds) override {
        hides.push_back(seconds);
        timer_.hideAfter(seconds);
    }
    void hideAtOnce() override {
        ++hideAtOnceCalls;
        timer_.cancel();
        visible = false;
        anchor.reset();
    }

    bool visible = false;
    std::optional<platform::Rect> anchor;
    std::vector<std::optional<platform::Rect>> shows;
    std::vector<double> hides;
    int hideAtOnceCalls = 0;

private:
    std::unique_ptr<OverlayModel> model_;
    OverlayHideTimer timer_;
    platform::Rect mouse_;
    platform::Connection observation_;
};

}  // namespace Parlox
