#include "platform/concurrency/MainRunLoop.hpp"

#include <chrono>

namespace platform {

namespace {

using Clock = MainQueue::Clock;

Clock::time_point deadlineAfter(double seconds) {
    if (!(seconds > 0)) return Clock::now();
    if (seconds > 1e9) seconds = 1e9;
    return Clock::now() +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

}  // namespace

void MainRunLoop::run() {
    queue_.bindToCurrentThread();
    while (!queue_.takeQuitRequest()) {
        queue_.runPending();
        if (queue_.takeQuitRequest()) return;
        queue_.waitForWork(deadlineAfter(3600));
    }
}

void MainRunLoop::runFor(double seconds) {
    queue_.bindToCurrentThread();
    const auto until = deadlineAfter(seconds);
    while (true) {
        queue_.runPending();
        if (queue_.takeQuitRequest() || Clock::now() >= until) return;
        queue_.waitForWork(until);
    }
}

bool MainRunLoop::runUntil(const std::function<bool()>& done, double timeoutSeconds) {
    queue_.bindToCurrentThread();
    const auto until = deadlineAfter(timeoutSeconds);
    while (true) {
        if (done()) return true;
        if (Clock::now() >= until) return false;
        queue_.runPending();
        if (done()) return true;
        if (queue_.takeQuitRequest()) return false;
        // Conditions set by other threads are noticed at least this often.
        queue_.waitForWork(std::min(until, deadlineAfter(0.01)));
    }
}

size_t MainRunLoop::drain() {
    queue_.bindToCurrentThread();
    size_t total = 0;
    while (true) {
        size_t ran = queue_.runPending();
        total += ran;
        if (ran == 0 && !queue_.hasImmediateWork()) return total;
    }
}

void MainRunLoop::quit() { queue_.requestQuit(); }

void MainRunLoop::quitMain() { MainQueue::shared().requestQuit(); }

}  // namespace platform
