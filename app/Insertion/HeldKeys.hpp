#pragma once

#include "app/Support/DesktopServices.hpp"

namespace Parlox {

// Escape and the dictation shortcut are grabbed from every program: while
// one of them is down, the display server hands every key Parlox sends to
// that grab, and the program never gets it. So a key goes out only once
// they are let go, and not at all when that takes too long.
struct HeldKeys {
    static constexpr double limit = 2.0;
    // Why a key was not sent, as the user is told.
    static constexpr const char* stillHeld = "Esc o el atajo sin soltar";

    // Waits until none of the desktop's shortcut keys is down, up to
    // `limit`; false when one still is. A wait is logged, naming what the
    // key was for (`action`: "pegar", "copiar"...).
    static bool released(const DesktopServices& desktop, const char* action);
};

}  // namespace Parlox
