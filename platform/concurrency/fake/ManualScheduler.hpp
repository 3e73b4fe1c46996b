#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/concurrency/Scheduler.hpp"

namespace platform {

// A scheduler on a manual clock, for tests. Nothing runs by itself: posted
// work, background jobs and due timers run when the test calls settle(),
// advance() or one of the finer steps, on the test's thread. A job's sleep
// moves the clock forward at once (timers that fall due meanwhile fire at
// the next step), so waits cost no real time. Posting is thread-safe.
class ManualScheduler final : public Scheduler {
public:
    explicit ManualScheduler(Date start = Date(std::chrono::seconds(1'800'000'000))) : start_(start) {}

    void post(Work work) override {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(work));
    }

    TimerHandle after(double seconds, Work work) override { return addTimer(seconds, std::move(work), false); }
    TimerHandle every(double seconds, Work work) override { return addTimer(seconds, std::move(work), true); }

    void background(Work job) override {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }

    bool sleep(double seconds, std::stop_token stop = {}) override {
        if (stop.stop_requested()) return false;
        std::lock_guard lock(mutex_);
        sleeps_.push_back(seconds);
        if (seconds > 0) elapsed_ += toNanoseconds(seconds);
        return true;
    }

    Date now() override {
        std::lock_guard lock(mutex_);
        return start_ + std::chrono::duration_cast<Date::duration>(std::chrono::nanoseconds(elapsed_));
    }
    MonotonicClock::time_point uptime() override {
        std::lock_guard lock(mutex_);
        return MonotonicClock::time_point(
            std::chrono::duration_cast<MonotonicClock::duration>(std::chrono::nanoseconds(elapsed_)));
    }

    // Seconds on the manual clock since the scheduler was made.
    double elapsed() const {
        std::lock_guard lock(mutex_);
        return static_cast<double>(elapsed_) / 1e9;
    }

    // Runs posted work (and the work it posts) in order; returns how many ran.
    size_t runPosted() {
        size_t ran = 0;
        while (auto work = take(posted_)) {
            (*work)();
            ++ran;
        }
        return ran;
    }
    // Runs the queued background jobs (and those they queue) in order.
    size_t runJobs() {
        size_t ran = 0;
        while (auto job = take(jobs_)) {
            (*job)();
            ++ran;
        }
        return ran;
    }
    // Takes the oldest queued background job out of the queue without
    // running it, for a test that runs it later (a job slow to end).
    std::optional<Work> takeJob() { return take(jobs_); }
    // Fires the timers that are due by now, earliest first.
    size_t fireDueTimers() {
        size_t fired = 0;
        while (auto timer = takeDue()) {
            timer->work();
            ++fired;
        }
        return fired;
    }
    // Runs posted work, jobs and due timers until none is left.
    size_t settle() {
        size_t total = 0;
        while (true) {
            size_t ran = runPosted() + runJobs() + fireDueTimers();
            if (ran == 0) return total;
            total += ran;
        }
    }
    // Settles, then moves the clock forward by `seconds`, stopping at each
    // timer's deadline on the way to fire it and settle again.
    void advance(double seconds) {
        settle();
        const int64_t target = elapsedNanoseconds() + toNanoseconds(std::max(0.0, seconds));
        while (true) {
            auto deadline = nextDeadline();
            if (!deadline || *deadline > target) break;
            setElapsed(std::max(elapsedNanoseconds(), *deadline));
            settle();
        }
        setElapsed(std::max(elapsedNanoseconds(), target));
        settle();
    }

    // Drops the posted work, jobs and timers still waiting, without running
    // them. Work left queued at the end of a test can hold this scheduler (a
    // job that posts its result back does), which would keep both alive.
    void discardPending() {
        while (true) {
            std::deque<Work> posted, jobs;
            std::vector<Timer> timers;
            {
                std::lock_guard lock(mutex_);
                if (posted_.empty() && jobs_.empty() && timers_.empty()) return;
                posted.swap(posted_);
                jobs.swap(jobs_);
                timers.swap(timers_);
            }
            // Destroyed here, unlocked: what they held may queue more work.
        }
    }

    // Timers still waiting, and the seconds left until each fires.
    std::vector<double> pendingTimerDelays() const {
        std::lock_guard lock(mutex_);
        std::vector<double> delays;
        for (const auto& timer : timers_)
            if (!timer.handle.isCancelled()) delays.push_back(static_cast<double>(timer.deadline - elapsed_) / 1e9);
        std::sort(delays.begin(), delays.end());
        return delays;
    }
    size_t pendingJobs() const {
        std::lock_guard lock(mutex_);
        return jobs_.size();
    }
    size_t pendingPosts() const {
        std::lock_guard lock(mutex_);
        return posted_.size();
    }
    // Every sleep made by a job, in order.
    std::vector<double> sleeps() const {
        std::lock_guard lock(mutex_);
        return sleeps_;
    }
    double totalSleep() const {
        std::lock_guard lock(mutex_);
        double sum = 0;
        for (double s : sleeps_) sum += s;
        return sum;
    }

private:
    struct Timer {
        int64_t deadline;
        uint64_t sequence;
        int64_t interval;
        bool repeating;
        TimerHandle handle;
        Work work;
    };

    TimerHandle addTimer(double seconds, Work work, bool repeating) {
        if (!(seconds > 0)) seconds = 0;
        if (repeating && seconds < 0.001) seconds = 0.001;
        TimerHandle handle([] {});
        std::lock_guard lock(mutex_);
        const int64_t interval = toNanoseconds(seconds);
        timers_.push_back(Timer{elapsed_ + interval, ++sequence_, interval, repeating, handle, std::move(work)});
        return handle;
    }

    std::optional<Work> take(std::deque<Work>& queue) {
        std::lock_guard lock(mutex_);
        if (queue.empty()) return std::nullopt;
        Work work = std::move(queue.front());
        queue.pop_front();
        return work;
    }

    std::optional<Timer> takeDue() {
        std::lock_guard lock(mutex_);
        const int64_t now = elapsed_;
        std::erase_if(timers_, [](const Timer& t) { return t.handle.isCancelled(); });
        auto due = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it)
            if (it->deadline <= now && (due == timers_.end() || it->deadline < due->deadline ||
                                        (it->deadline == due->deadline && it->sequence < due->sequence)))
                due = it;
        if (due == timers_.end()) return std::nullopt;
        Timer timer = *due;
        if (timer.repeating) {
            due->deadline += due->interval;
            due->sequence = ++sequence_;
        } else {
            timers_.erase(due);
        }
        // A timer cancelled by an earlier one in the same step does not run.
        Work work = timer.work;
        TimerHandle handle = timer.handle;
        timer.work = [handle, work] {
            if (!handle.isCancelled()) work();
        };
        return timer;
    }

    std::optional<int64_t> nextDeadline() const {
        std::lock_guard lock(mutex_);
        std::optional<int64_t> next;
        for (const auto& timer : timers_)
            if (!timer.handle.isCancelled() && (!next || timer.deadline < *next)) next = timer.deadline;
        return next;
    }

    void setElapsed(int64_t value) {
        std::lock_guard lock(mutex_);
        elapsed_ = value;
    }
    int64_t elapsedNanoseconds() const {
        std::lock_guard lock(mutex_);
        return elapsed_;
    }
    // Whole nanoseconds, so that sums of waits land exactly on deadlines.
    static int64_t toNanoseconds(double seconds) {
        return static_cast<int64_t>(std::llround(std::min(seconds, 1e9) * 1e9));
    }

    mutable std::mutex mutex_;
    Date start_;
    int64_t elapsed_ = 0;  // nanoseconds
    uint64_t sequence_ = 0;
    std::deque<Work> posted_;
    std::deque<Work> jobs_;
    std::vector<Timer> timers_;
    std::vector<double> sleeps_;
};

}  // namespace platform
