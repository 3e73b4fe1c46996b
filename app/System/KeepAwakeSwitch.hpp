#pragma once

#include "platform/concurrency/Signal.hpp"

namespace Parlox {

// The hidden keep-awake switch as the menu bar and the settings show it.
class KeepAwakeSwitch {
public:
    virtual ~KeepAwakeSwitch() = default;
    virtual bool isUnlocked() const = 0;
    // Shows or hides the feature (the settings' hidden gesture); hiding it switches it off.
    virtual void setUnlocked(bool unlocked) = 0;
    virtual bool isOn() const = 0;
    virtual void set(bool on) = 0;
    virtual platform::Signal<>& changed() = 0;
};

}  // namespace Parlox
