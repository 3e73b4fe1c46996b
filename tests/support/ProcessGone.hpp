#pragma once

#include <signal.h>
#include <sys/types.h>

#include <string>

#include "tests/support/ReadFile.hpp"

namespace parlox::testing {

// A process is gone when it cannot be signalled or only its zombie is left.
inline bool processGone(pid_t pid) {
    if (::kill(pid, 0) != 0) return true;
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    return close == std::string::npos || stat.size() < close + 3 || stat[close + 2] == 'Z';
}

}  // namespace parlox::testing
