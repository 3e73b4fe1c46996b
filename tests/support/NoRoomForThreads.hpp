#pragma once

// For a death test's child: leaves the address space no room for another
// thread's stack (and a little for the heap), so that starting a thread
// fails as it does on a machine out of memory or threads. Only the soft
// limit is lowered: giveRoomForThreads puts back the one returned.

#include <cstdlib>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

namespace parlox::testing {

inline rlimit leaveNoRoomForThreads() {
    rlimit previous{};
    if (::getrlimit(RLIMIT_AS, &previous) != 0) std::_Exit(3);
    std::ifstream statm("/proc/self/statm");
    unsigned long pages = 0;
    statm >> pages;
    const rlim_t bytes = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (rlim_t{1} << 20);
    const rlimit limit{bytes, previous.rlim_max};
    if (::setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(3);
    return previous;
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
