#pragma once

#include <functional>

#include "platform/concurrency/MainQueue.hpp"

namespace platform {

// A plain loop that pumps a MainQueue on the calling thread, for the
// command line and tests. Whoever runs it becomes the queue's main thread.
class MainRunLoop {
public:
    explicit MainRunLoop(MainQueue& queue = MainQueue::shared()) : queue_(queue) {}

    // Runs until quit() (from any thread or from queued work).
    void run();
    // Runs for `seconds`, or until quit().
    void runFor(double seconds);
    // Runs until `done()` is true (checked after each batch of work) or
    // `timeoutSeconds` pass; returns the last answer of `done()`.
    bool runUntil(const std::function<bool()>& done, double timeoutSeconds);
    // Runs the work that is ready now, and the work it posts, until nothing
    // is ready; delayed work that is not due yet stays. Returns how many ran.
    size_t drain();

    void quit();

    // The same on the shared queue.
    static void runMain() { MainRunLoop().run(); }
    static bool runMainUntil(const std::function<bool()>& done, double timeoutSeconds) {
        return MainRunLoop().runUntil(done, timeoutSeconds);
    }
    static size_t drainMain() { return MainRunLoop().drain(); }
    static void quitMain();

private:
    MainQueue& queue_;
};

}  // namespace platform
