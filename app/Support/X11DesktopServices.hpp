#pragma once

#include "app/Support/DesktopServices.hpp"

namespace Parlox {

// The desktop of an X11 session: the main queue's scheduler, AT-SPI
// accessibility, the window manager's workspace, the CLIPBOARD served by the
// clipboard helper, and XTest keys. Under Wayland each of them says so in the
// log and does nothing.
DesktopServices x11DesktopServices();

}  // namespace Parlox
