#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <thread>

#include <signal.h>

#include "platform/foundation/UniqueFd.hpp"

namespace platform::process {

// Takes SIGINT, SIGTERM and SIGHUP away from their default action (ending the
// process on the spot) for as long as it lives, so that a command can stop
// its child tool and clean up before it exits. The first of them calls
// `onFirst` on a thread of its own; later ones are dropped.
//
// The signals are blocked in the constructing thread and in every thread
// started after it: make it before any other thread exists. Children started
// with process::run get them back unblocked.
class TerminationSignals {
public:
    explicit TerminationSignals(std::function<void(int signal)> onFirst);
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // The first signal taken, if any.
    std::optional<int> received() const;

    // The shell's exit status for a command ended by `signal`: 128 + its number.
    static int exitStatus(int signal) { return 128 + signal; }

private:
    void watch();

    std::function<void(int)> onFirst_;
    sigset_t signals_{};
    sigset_t previousMask_{};
    UniqueFd signalFd_;
    UniqueFd wakeFd_;
    std::atomic<int> received_{0};
    std::thread watcher_;
};

}  // namespace platform::process
