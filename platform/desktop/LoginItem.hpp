#pragma once

namespace platform::desktop {

// Whether the application starts when the user logs in.
class LoginItem {
public:
    virtual ~LoginItem() = default;

    virtual bool isEnabled() = 0;
    // Throws DesktopError when the desktop refuses the change.
    virtual void setEnabled(bool enabled) = 0;
};

}  // namespace platform::desktop
