#pragma once

namespace platform::desktop {

// The application's entry in the desktop's application menu, from which the
// user starts it by hand.
class ApplicationMenuEntry {
public:
    virtual ~ApplicationMenuEntry() = default;

    // Puts the entry in place when it is missing or out of date, leaving
    // what the user changed in it. Throws DesktopError when it cannot be
    // written.
    virtual void install() = 0;
};

}  // namespace platform::desktop
