#include "app/Overlay/OverlayModel.hpp"

namespace Parlox {

OverlayModel::OverlayModel(Clock clock) : clock_(clock ? std::move(clock) : Clock(platform::now)) {}

void OverlayModel::setState(State state) {
    if (state == state_) return;
    state_ = std::move(state);
    stateChanged_.emit();
}

void OverlayModel::setLevel(float level) {
    if (level != level_) {
        level_ = level;
        levelChanged_.emit();
    }
    // Rises at once, falls by a factor of 0.72 per reading towards the level.
    setGlow(glow_ < level ? level : glow_ * 0.72f + level * 0.28f);
}

void OverlayModel::setGlow(float glow) {
    if (glow == glow_) return;
    glow_ = glow;
    glowChanged_.emit();
}

void OverlayModel::setAction(Action& slot, Action action) {
    slot = action ? std::move(action) : Action([] {});
    actionsChanged_.emit();
}

void OverlayModel::setRunningSince(std::optional<platform::Date> date) {
    if (date == runningSince_) return;
    runningSince_ = date;
    clockChanged_.emit();
}

void OverlayModel::startClock() {
    if (accumulated_ != 0) {
        accumulated_ = 0;
        clockChanged_.emit();
    }
    setRunningSince(clock_());
}

void OverlayModel::pauseClock() {
    if (runningSince_) {
        // An in-place sum: announced whatever it adds.
        accumulated_ += platform::secondsSince(*runningSince_, clock_());
        clockChanged_.emit();
    }
    setRunningSince(std::nullopt);
}

void OverlayModel::resumeClock() {
    if (!runningSince_) setRunningSince(clock_());
}

double OverlayModel::elapsed(platform::Date at) const {
    return accumulated_ + (runningSince_ ? platform::secondsSince(*runningSince_, at) : 0.0);
}

}  // namespace Parlox
