#pragma once

#include <vector>

namespace platform::input {

// The keyboard as the display server sees it now: the keys that are down,
// whether the user holds them or synthetic input does. Callable from any
// thread.
class KeyboardState {
public:
    virtual ~KeyboardState() = default;

    // Whether any of the keys (Carbon key codes) is down now; false when
    // the keyboard cannot be read.
    virtual bool anyDown(const std::vector<int>& carbonKeyCodes) = 0;
};

}  // namespace platform::input
