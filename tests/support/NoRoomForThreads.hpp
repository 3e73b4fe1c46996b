#pragma once

// For a death test's child: leaves the address space no room for another
// thread's stack (and a little for the heap), so that starting a thread
// fails as it does on a machine out of memory or threads. Only the soft
// limit is lowered: giveRoomForThreads puts back the one returned.

#include <cstddef>
#include <cstdlib>
#include <fstream>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

namespace parlox::testing {

// Caps the address space at what the process maps now plus `extra` bytes.
inline rlimit leaveRoomInTheAddressSpace(rlim_t extra) {
    rlimit previous{};
    if (::getrlimit(RLIMIT_AS, &previous) != 0) std::_Exit(3);
    std::ifstream statm("/proc/self/statm");
    unsigned long pages = 0;
    statm >> pages;
    const rlim_t bytes = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + extra;
    const rlimit limit{bytes, previous.rlim_max};
    if (::setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(3);
    return previous;
}

inline rlimit leaveNoRoomForThreads() { return leaveRoomInTheAddressSpace(rlim_t{1} << 20); }

// Room for exactly `threads` more threads: every thread started from now on
// gets a stack far larger than the heap's margin, so one more cannot fit.
inline rlimit leaveRoomForThreads(size_t threads) {
    constexpr size_t stack = size_t{64} << 20;
    pthread_attr_t attributes;
    if (::pthread_attr_init(&attributes) != 0 || ::pthread_attr_setstacksize(&attributes, stack) != 0 ||
        ::pthread_setattr_default_np(&attributes) != 0)
        std::_Exit(3);
    ::pthread_attr_destroy(&attributes);
    // Each stack with its guard page and a margin; the heap keeps 1 MiB.
    return leaveRoomInTheAddressSpace(static_cast<rlim_t>(threads) * (stack + (size_t{1} << 20)) + (rlim_t{1} << 20));
}

inline void giveRoomForThreads(const rlimit& previous) {
    if (::setrlimit(RLIMIT_AS, &previous) != 0) std::_Exit(3);
}

// The sanitizers reserve address space of their own as they go.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool addressSpaceIsOurs = false;
#else
inline constexpr bool addressSpaceIsOurs = true;
#endif

}  // namespace parlox::testing
