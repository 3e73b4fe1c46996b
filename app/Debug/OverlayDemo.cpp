#include "app/Debug/OverlayDemo.hpp"

#include <algorithm>
#include <cmath>

#include "app/Support/Log.hpp"

namespace Parlox {

using State = OverlayModel::State;

float OverlayDemo::level(double t) {
    return float(std::max(0.0, std::sin(0.9 * t)) * (0.5 + 0.5 * std::sin(4.3 * t) * std::sin(11 * t)));
}

OverlayDemo::OverlayDemo(OverlayController& overlay, std::shared_ptr<platform::Scheduler> scheduler,
                         std::function<void()> done)
    : overlay_(overlay), scheduler_(std::move(scheduler)), done_(std::move(done)) {}

std::shared_ptr<OverlayDemo> OverlayDemo::run(OverlayController& overlay,
                                              std::shared_ptr<platform::Scheduler> scheduler,
                                              std::function<void()> done) {
    std::shared_ptr<OverlayDemo> demo(new OverlayDemo(overlay, std::move(scheduler), std::move(done)));
    demo->self_ = demo;
    OverlayModel& model = overlay.model();
    model.startClock();
    demo->setState(State::recording());
    overlay.show(std::nullopt);
    demo->segmentStart_ = demo->scheduler_->uptime();
    demo->tick();
    return demo;
}

void OverlayDemo::cancel() { timer_.cancel(); }

void OverlayDemo::after(double seconds, std::function<void()> step) {
    // The demo lives as long as its holder keeps it: a pending step does not
    // hold it (nor, through it, the scheduler that holds the step).
    timer_ = scheduler_->after(seconds, [weak = self_, step = std::move(step)] {
        if (weak.lock()) step();
    });
}

void OverlayDemo::setState(const State& state) {
    if (overlay_.model().state() != state) overlay_.model().setState(state);
}

void OverlayDemo::tick() {
    OverlayModel& model = overlay_.model();
    const double t = scheduler_->secondsSince(segmentStart_);
    if (t < 7) {
        model.setLevel(level(t));
        after(0.08, [this] { tick(); });
        return;
    }
    if (model.level() != 0) model.setLevel(0);
    model.pauseClock();
    setState(State::paused());
    after(2.5, [this] {
        setState(State::working("Redactando\u2026"));
        after(4, [this] {
            setState(State::hidden());
            after(2.5, [this] {
                // The panel left the screen with the hidden state; bring it back for the error.
                setState(State::error("Sin respuesta", true));
                overlay_.show(std::nullopt);
                after(3, [this] { finish(); });
            });
        });
    });
}

void OverlayDemo::finish() {
    setState(State::hidden());
    Log::info("Demo del indicador terminada");
    if (done_) done_();
}

}  // namespace Parlox
