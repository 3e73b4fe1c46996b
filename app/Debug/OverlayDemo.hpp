#pragma once

#include <functional>
#include <memory>

#include "app/Overlay/OverlayController.hpp"
#include "platform/concurrency/Scheduler.hpp"

namespace Parlox {

// A scripted walk of the recording indicator through its states, on the
// application's own indicator, for demonstration: 7 s recording with a
// made-up voice, 2.5 s paused, 4 s writing, 2.5 s hidden, 3 s an error.
class OverlayDemo {
public:
    // The made-up voice level `t` seconds into the recording.
    static float level(double t);

    // Starts the walk; `done` runs after its last step. The walk goes on
    // while the returned demo is kept.
    static std::shared_ptr<OverlayDemo> run(OverlayController& overlay, std::shared_ptr<platform::Scheduler> scheduler,
                                            std::function<void()> done = {});

    void cancel();

private:
    OverlayDemo(OverlayController& overlay, std::shared_ptr<platform::Scheduler> scheduler,
                std::function<void()> done);
    void tick();
    void after(double seconds, std::function<void()> step);
    void setState(const OverlayModel::State& state);
    void finish();

    OverlayController& overlay_;
    std::shared_ptr<platform::Scheduler> scheduler_;
    std::function<void()> done_;
    platform::Scheduler::MonotonicClock::time_point segmentStart_{};
    platform::TimerHandle timer_;
    std::weak_ptr<OverlayDemo> self_;
};

}  // namespace Parlox
