#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/concurrency/Signal.hpp"
#include "platform/foundation/Date.hpp"

namespace Parlox {

// What the recording indicator shows: its state, the microphone level and
// the glow drawn from it, the recording clock, and the six actions of its
// controls. Main thread only. A write announces a change only when the
// value differs (the actions always announce).
class OverlayModel {
public:
    struct State {
        enum class Kind { hidden, recording, paused, working, done, error };

        Kind kind = Kind::hidden;
        std::string text;       // working, done: the line; error: the message
        bool canRetry = false;  // error: whether the retry button is offered

        static State hidden() { return {Kind::hidden, {}, false}; }
        static State recording() { return {Kind::recording, {}, false}; }
        static State paused() { return {Kind::paused, {}, false}; }
        static State working(std::string text) { return {Kind::working, std::move(text), false}; }
        static State done(std::string text) { return {Kind::done, std::move(text), false}; }
        static State error(std::string message, bool canRetry) { return {Kind::error, std::move(message), canRetry}; }

        friend bool operator==(const State&, const State&) = default;
    };

    using Action = std::function<void()>;
    using Clock = std::function<platform::Date()>;

    explicit OverlayModel(Clock clock = platform::now);
    OverlayModel(const OverlayModel&) = delete;
    OverlayModel& operator=(const OverlayModel&) = delete;

    const State& state() const { return state_; }
    void setState(State state);

    float level() const { return level_; }
    // Also moves the glow: an instant rise, a smoothed fall.
    void setLevel(float level);
    float glow() const { return glow_; }

    // The controls' actions; each does nothing until set.
    const Action& onStop() const { return onStop_; }
    const Action& onPause() const { return onPause_; }
    const Action& onResume() const { return onResume_; }
    const Action& onCancel() const { return onCancel_; }
    const Action& onRetry() const { return onRetry_; }
    const Action& onDismiss() const { return onDismiss_; }
    void setOnStop(Action action) { setAction(onStop_, std::move(action)); }
    void setOnPause(Action action) { setAction(onPause_, std::move(action)); }
    void setOnResume(Action action) { setAction(onResume_, std::move(action)); }
    void setOnCancel(Action action) { setAction(onCancel_, std::move(action)); }
    void setOnRetry(Action action) { setAction(onRetry_, std::move(action)); }
    void setOnDismiss(Action action) { setAction(onDismiss_, std::move(action)); }

    // The recording clock, counting only recorded time.
    void startClock();   // from zero, running
    void pauseClock();   // keeps the time so far
    void resumeClock();  // runs again if it stands
    double elapsed(platform::Date at) const;
    double accumulated() const { return accumulated_; }
    const std::optional<platform::Date>& runningSince() const { return runningSince_; }

    platform::Signal<>& stateChanged() { return stateChanged_; }
    platform::Signal<>& levelChanged() { return levelChanged_; }
    platform::Signal<>& glowChanged() { return glowChanged_; }
    platform::Signal<>& clockChanged() { return clockChanged_; }
    platform::Signal<>& actionsChanged() { return actionsChanged_; }

private:
    void setAction(Action& slot, Action action);
    void setGlow(float glow);
    void setRunningSince(std::optional<platform::Date> date);

    Clock clock_;
    State state_;
    float level_ = 0;
    float glow_ = 0;
    Action onStop_ = [] {};
    Action onPause_ = [] {};
    Action onResume_ = [] {};
    Action onCancel_ = [] {};
    Action onRetry_ = [] {};
    Action onDismiss_ = [] {};
    double accumulated_ = 0;
    std::optional<platform::Date> runningSince_;

    platform::Signal<> stateChanged_;
    platform::Signal<> levelChanged_;
    platform::Signal<> glowChanged_;
    platform::Signal<> clockChanged_;
    platform::Signal<> actionsChanged_;
};

}  // namespace Parlox
