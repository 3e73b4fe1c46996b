#include "platform/input/X11Keycodes.hpp"

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <string>

#include "platform/input/CarbonKeyCodes.hpp"

namespace platform::input {

xkb_keymap* loadCoreKeymap(xcb_connection_t* connection, xkb_context* context) {
    if (!context) return nullptr;
    const auto device = xkb_x11_get_core_keyboard_device_id(connection);
    if (device < 0) return nullptr;
    return xkb_x11_keymap_new_from_device(context, connection, device, XKB_KEYMAP_COMPILE_NO_FLAGS);
}

std::optional<int> x11KeycodeForCarbon(xkb_keymap* keymap, int carbonKeyCode, int minKeycode, int maxKeycode) {
    const auto key = physicalKeyForCarbon(carbonKeyCode);
    if (!key) return std::nullopt;
    const xkb_keycode_t byName =
        keymap ? xkb_keymap_key_by_name(keymap, std::string(key->xkbName).c_str()) : XKB_KEYCODE_INVALID;
    const int code = byName != XKB_KEYCODE_INVALID ? static_cast<int>(byName) : key->evdevCode + x11KeycodeOffset;
    if (code < minKeycode || code > maxKeycode) return std::nullopt;
    return code;
}

}  // namespace platform::input
