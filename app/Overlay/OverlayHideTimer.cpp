#include "app/Overlay/OverlayHideTimer.hpp"

namespace Parlox {

OverlayHideTimer::OverlayHideTimer(OverlayModel& model, std::shared_ptr<platform::Scheduler> scheduler)
    : model_(model), scheduler_(std::move(scheduler)) {}

OverlayHideTimer::~OverlayHideTimer() { cancel(); }

void OverlayHideTimer::hideAfter(double seconds) {
    cancel();
    // The timer lives no longer than this object: the destructor cancels it.
    pending_ = scheduler_->after(seconds, [this, seen = model_.state()] {
        if (model_.state() == seen) model_.setState(OverlayModel::State::hidden());
    });
}

void OverlayHideTimer::removeAfterDelay(std::function<void()> orderOut) {
    cancel();
    pending_ = scheduler_->after(removalDelay, [this, orderOut = std::move(orderOut)] {
        if (model_.state().kind == OverlayModel::State::Kind::hidden) orderOut();
    });
}

void OverlayHideTimer::cancel() {
    pending_.cancel();
    pending_ = {};
}

}  // namespace Parlox
