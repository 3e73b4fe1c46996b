#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

typedef struct _XDisplay Display;

namespace platform::input {

// Synthetic keyboard and pointer input through the XTest extension, on a
// connection of its own.
class XTestInput {
public:
    // Throws InputError when there is no display or it lacks XTest.
    XTestInput();
    ~XTestInput();
    XTestInput(const XTestInput&) = delete;
    XTestInput& operator=(const XTestInput&) = delete;

    // Whether the X server can be reached and offers XTest (no connection is kept).
    static bool available();

    // Lets go every modifier key that is down (Shift, Control, Alt, Super…),
    // so a shortcut the user is still holding does not mix into ours.
    // Returns how many keys were released.
    int releaseHeldModifiers();
    // Presses the modifiers, taps `key`, releases the modifiers, in X keysym
    // names ("Control_L", "v"). False when a key has no key code here.
    bool tap(const std::vector<std::string>& modifiers, const std::string& key);
    std::optional<std::pair<int, int>> pointer();
    void movePointer(int x, int y);

private:
    Display* display_ = nullptr;
};

}  // namespace platform::input
