#pragma once

#include <memory>

#include "app/App/AppServices.hpp"

namespace Parlox {

// The application's services on this desktop: AT-SPI, X11 (XTest keys,
// selections, windows, hot keys), PulseAudio, event sounds, D-Bus notices
// and inhibitors, the XDG autostart entry. Throws platform::desktop::DesktopError
// when there is no X display to run on.
struct LinuxDesktop {
    // Throws the same error, before the toolkit starts, when it would find
    // no display to open (its own failure there ends the process at once);
    // a platform the environment chooses is left to the toolkit.
    static void requireDisplay();
    static AppServices services(std::shared_ptr<Transcriber> transcriber);
};

}  // namespace Parlox
