#pragma once

#include <functional>

#include "app/Support/DesktopServices.hpp"

namespace Parlox {

// Some answers of another program settle a moment later: a web browser
// applies a selection after taking it, and a window gets its focus back
// only when the user lets go of the hot key (the key's grab takes it away
// while the key is down). Such a question is asked again until the answer
// holds, for about a second, before it counts as not.
struct Settle {
    static constexpr double interval = 0.02;
    static constexpr double limit = 1.0;

    // Asks `holds` until it holds or `limit` has passed; its last answer.
    static bool within(platform::Scheduler& scheduler, const std::function<bool()>& holds) {
        return within(scheduler, limit, holds);
    }
    // The same, for `seconds` instead.
    static bool within(platform::Scheduler& scheduler, double seconds, const std::function<bool()>& holds);
    static bool within(const DesktopServices& desktop, const std::function<bool()>& holds) {
        return within(*desktop.scheduler, holds);
    }
};

}  // namespace Parlox
