#include "platform/process/TerminationSignals.hpp"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <utility>

namespace platform::process {

TerminationSignals::TerminationSignals(std::function<void(int signal)> onFirst) : onFirst_(std::move(onFirst)) {
    sigemptyset(&signals_);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals_, sig);
    pthread_sigmask(SIG_BLOCK, &signals_, &previousMask_);
    signalFd_.reset(::signalfd(-1, &signals_, SFD_CLOEXEC | SFD_NONBLOCK));
    wakeFd_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!signalFd_ || !wakeFd_) {
        // Without a way to take them, the signals keep their default action.
        signalFd_.reset();
        wakeFd_.reset();
        pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
        return;
    }
    watcher_ = std::thread([this] { watch(); });
}

TerminationSignals::~TerminationSignals() {
    if (!watcher_.joinable()) return;
    const uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(wakeFd_.get(), &one, sizeof one);
    watcher_.join();
    // Signals that came during the clean-up are taken here, so unblocking
    // them does not end the process after all.
    signalfd_siginfo info;
    while (::read(signalFd_.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    }
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

std::optional<int> TerminationSignals::received() const {
    const int signal = received_.load();
    return signal ? std::optional<int>(signal) : std::nullopt;
}

void TerminationSignals::watch() {
    for (;;) {
        pollfd fds[2] = {{signalFd_.get(), POLLIN, 0}, {wakeFd_.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        signalfd_siginfo info;
        while (::read(signalFd_.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            int expected = 0;
            const int signal = static_cast<int>(info.ssi_signo);
            if (received_.compare_exchange_strong(expected, signal) && onFirst_) onFirst_(signal);
        }
    }
}

}  // namespace platform::process
