#pragma once

#include <cstdint>
#include <string>

namespace platform::desktop {

// Keeps the display awake on request, and tells how long the user has been idle.
class PowerAssertion {
public:
    virtual ~PowerAssertion() = default;

    // Stops the display from sleeping or blanking for idleness until released;
    // `reason` is shown where the desktop lists such requests. Returns the
    // assertion's id; throws DesktopError when the session refuses.
    virtual uint32_t preventDisplaySleep(const std::string& reason) = 0;
    virtual void release(uint32_t assertion) = 0;

    // Seconds since the last keyboard or pointer input.
    virtual double idleSeconds() = 0;
};

}  // namespace platform::desktop
