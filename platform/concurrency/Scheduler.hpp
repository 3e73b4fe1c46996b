#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <stop_token>

#include "platform/foundation/Date.hpp"

namespace platform {

// Cancels one timer; copies share the timer. A default handle refers to none.
class TimerHandle {
public:
    TimerHandle() = default;
    // `onCancel` runs once, on the first cancel(), to let the timer's queue drop it.
    explicit TimerHandle(std::function<void()> onCancel) : state_(std::make_shared<State>()) {
        state_->onCancel = std::move(onCancel);
    }

    void cancel() const {
        if (state_ && !state_->cancelled.exchange(true) && state_->onCancel) state_->onCancel();
    }
    bool isCancelled() const { return state_ && state_->cancelled.load(); }
    explicit operator bool() const { return static_cast<bool>(state_); }

private:
    struct State {
        std::atomic<bool> cancelled{false};
        std::function<void()> onCancel;
    };
    std::shared_ptr<State> state_;
};

// Time and threads as the main-actor objects see them: work posted to the
// main queue, one-shot and repeating timers that fire there, blocking jobs
// run off the main thread, the sleeps those jobs make, and the clocks. The
// application uses the main queue and real time; tests use a manual clock
// (ManualScheduler) so that every wait and timer is under their control.
class Scheduler {
public:
    using Work = std::function<void()>;
    using MonotonicClock = std::chrono::steady_clock;

    virtual ~Scheduler() = default;

    // Runs `work` on the main thread, after the work posted before it.
    virtual void post(Work work) = 0;
    // Runs `work` once on the main thread after `seconds`, unless cancelled first.
    virtual TimerHandle after(double seconds, Work work) = 0;
    // Runs `work` on the main thread every `seconds` until cancelled.
    virtual TimerHandle every(double seconds, Work work) = 0;

    // Runs a blocking job off the main thread. A job hands its results back
    // with post(); it never touches main-thread state itself.
    virtual void background(Work job) = 0;
    // Waits `seconds` inside a background job. Returns false when `stop` was
    // requested before the time was up (the wait then ends at once).
    virtual bool sleep(double seconds, std::stop_token stop = {}) = 0;

    // The wall clock (dates of records) and a monotonic clock (durations).
    virtual Date now() = 0;
    virtual MonotonicClock::time_point uptime() = 0;

    // Seconds on the monotonic clock since `start`.
    double secondsSince(MonotonicClock::time_point start) {
        return std::chrono::duration<double>(uptime() - start).count();
    }
};

// The application's scheduler: the shared MainQueue, a thread of its own
// per background job, and the system clocks.
class MainQueueScheduler final : public Scheduler {
public:
    void post(Work work) override;
    TimerHandle after(double seconds, Work work) override;
    TimerHandle every(double seconds, Work work) override;
    void background(Work job) override;
    bool sleep(double seconds, std::stop_token stop = {}) override;
    Date now() override;
    MonotonicClock::time_point uptime() override;

    static std::shared_ptr<Scheduler> shared();
};

}  // namespace platform
