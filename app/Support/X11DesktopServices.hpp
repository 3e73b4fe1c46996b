#pragma once

#include "app/Support/DesktopServices.hpp"

namespace Parlox {

// The desktop of an X11 session: the main queue's scheduler, AT-SPI
// accessibility, the window manager's workspace, the CLIPBOARD served by the
// clipboard helper, XTest keys and the server's keyboard state. Under Wayland
// each of them says so in the log and does nothing. No shortcut keys are set:
// whoever grabs them names them.
DesktopServices x11DesktopServices();

}  // namespace Parlox
