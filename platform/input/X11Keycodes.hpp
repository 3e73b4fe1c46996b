#pragma once

#include <optional>

struct xcb_connection_t;
struct xkb_context;
struct xkb_keymap;

namespace platform::input {

// The core keyboard's keymap, read over the XKB extension (which must be
// set up on the connection); none without it. The caller unrefs it.
xkb_keymap* loadCoreKeymap(xcb_connection_t* connection, xkb_context* context);

// The X keycode of a Carbon key code: the key of its XKB name in `keymap`
// (may be none), else its evdev code plus 8; none when the key is not on
// a PC keyboard or the code lies outside [minKeycode, maxKeycode].
std::optional<int> x11KeycodeForCarbon(xkb_keymap* keymap, int carbonKeyCode, int minKeycode, int maxKeycode);

}  // namespace platform::input
