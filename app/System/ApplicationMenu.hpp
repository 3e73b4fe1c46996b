#pragma once

#include "platform/desktop/ApplicationMenuEntry.hpp"

namespace Parlox {

// Parlox's place in the desktop's application menu, put in place at every
// launch: with the tray icon hidden it is the way back to the settings.
struct ApplicationMenu {
    // A refusal is logged.
    static void install(platform::desktop::ApplicationMenuEntry& entry);
};

}  // namespace Parlox
