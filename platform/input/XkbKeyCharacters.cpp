#include "platform/input/XkbKeyCharacters.hpp"

#include <xkbcommon/xkbcommon.h>

#include "platform/input/CarbonKeyCodes.hpp"

namespace platform::input {
namespace {

xkb_keycode_t keycodeOf(xkb_keymap* keymap, const PhysicalKey& key) {
    const xkb_keycode_t code = xkb_keymap_key_by_name(keymap, std::string(key.xkbName).c_str());
    return code != XKB_KEYCODE_INVALID ? code
                                       : static_cast<xkb_keycode_t>(key.evdevCode + x11KeycodeOffset);
}

std::optional<std::string> textOn(xkb_keymap* keymap, xkb_layout_index_t layout,
                                  xkb_keycode_t code) {
    xkb_state* state = xkb_state_new(keymap);
    if (!state) return std::nullopt;
    xkb_state_update_mask(state, 0, 0, 0, 0, 0, layout);
    char buffer[64] = {};
    const int n = xkb_state_key_get_utf8(state, code, buffer, sizeof buffer);
    xkb_state_unref(state);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(n));
}

// A layout types Latin letters when the key left of the home row gives "a".
bool isLatin(xkb_keymap* keymap, xkb_layout_index_t layout) {
    const auto a = physicalKeyForCarbon(0);
    const auto text = textOn(keymap, layout, keycodeOf(keymap, *a));
    return text && text->size() == 1 && (*text)[0] >= 'a' && (*text)[0] <= 'z';
}

}  // namespace

std::optional<std::string> xkbKeyCharacters(xkb_keymap* keymap, std::uint32_t activeLayout,
                                            int carbonKeyCode) {
    const auto key = physicalKeyForCarbon(carbonKeyCode);
    if (!keymap || !key) return std::nullopt;
    const xkb_layout_index_t count = xkb_keymap_num_layouts(keymap);
    xkb_layout_index_t layout = activeLayout < count ? activeLayout : 0;
    if (!isLatin(keymap, layout)) {
        for (xkb_layout_index_t other = 0; other < count; ++other) {
            if (isLatin(keymap, other)) {
                layout = other;
                break;
            }
        }
    }
    return textOn(keymap, layout, keycodeOf(keymap, *key));
}

}  // namespace platform::input
