#pragma once

#include <functional>
#include <memory>

#include "app/Overlay/OverlayModel.hpp"
#include "platform/concurrency/Scheduler.hpp"

namespace Parlox {

// The indicator's one slot of delayed work: the timed hide of hide(after:)
// and the removal of the panel shortly after the state turns hidden. A new
// job, or cancel(), drops the pending one.
class OverlayHideTimer {
public:
    // Seconds between the state turning hidden and the panel leaving the screen.
    static constexpr double removalDelay = 0.26;

    OverlayHideTimer(OverlayModel& model, std::shared_ptr<platform::Scheduler> scheduler);
    ~OverlayHideTimer();

    // After `seconds`, sets the state hidden if it is still the one seen now.
    void hideAfter(double seconds);
    // After the removal delay, calls `orderOut` if the state is still hidden.
    void removeAfterDelay(std::function<void()> orderOut);
    void cancel();

private:
    OverlayModel& model_;
    std::shared_ptr<platform::Scheduler> scheduler_;
    platform::TimerHandle pending_;
};

}  // namespace Parlox
