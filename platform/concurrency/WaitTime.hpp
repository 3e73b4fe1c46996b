#pragma once

#include <algorithm>
#include <chrono>

namespace platform::detail {

// A wait of `seconds` as a clock duration: NaN and negative values mean no
// wait; anything longer than 1e9 s (infinity too) is capped there, so that
// adding it to now cannot overflow the clock.
inline std::chrono::steady_clock::duration waitDuration(double seconds) {
    if (!(seconds > 0)) return std::chrono::steady_clock::duration::zero();
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(std::min(seconds, 1e9)));
}

}  // namespace platform::detail
