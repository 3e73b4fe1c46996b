#pragma once

#include <optional>
#include <string_view>

namespace platform::input {

// The stored form of a key is its Carbon virtual key code (a physical key
// position on an ANSI keyboard). X11 knows keys by keycode, which on every
// current server is the evdev scan code plus 8, and by XKB key name.
struct PhysicalKey {
    int carbonKeyCode;
    int evdevCode;
    std::string_view xkbName;
};

// The physical key of a Carbon key code; none for codes that have no key on
// a PC keyboard (for example the function key).
std::optional<PhysicalKey> physicalKeyForCarbon(int carbonKeyCode);

// The Carbon key code of an evdev scan code; none when no Carbon key sits there.
std::optional<int> carbonKeyCodeForEvdev(int evdevCode);

inline constexpr int x11KeycodeOffset = 8;

}  // namespace platform::input
