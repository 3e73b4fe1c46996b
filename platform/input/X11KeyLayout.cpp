#include "platform/input/X11KeyLayout.hpp"

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <mutex>

#include "platform/input/CarbonKeyCodes.hpp"
#include "platform/input/InputError.hpp"
#include "platform/input/XkbKeyCharacters.hpp"

namespace platform::input {

struct X11KeyLayout::State {
    xcb_connection_t* connection = nullptr;
    xkb_context* context = nullptr;
    std::mutex mutex;
};

X11KeyLayout::X11KeyLayout(const std::string& displayName) : state_(std::make_unique<State>()) {
    state_->connection = xcb_connect(displayName.empty() ? nullptr : displayName.c_str(), nullptr);
    if (xcb_connection_has_error(state_->connection)) {
        xcb_disconnect(state_->connection);
        throw InputError(InputError::Kind::noDisplay, "\"" + displayName + "\"");
    }
    if (xkb_x11_setup_xkb_extension(state_->connection, XKB_X11_MIN_MAJOR_XKB_VERSION,
                                    XKB_X11_MIN_MINOR_XKB_VERSION,
                                    XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr,
                                    nullptr, nullptr) != 1) {
        xcb_disconnect(state_->connection);
        throw InputError(InputError::Kind::noKeyboardExtension, "XKB");
    }
    state_->context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
}

X11KeyLayout::~X11KeyLayout() {
    if (state_->context) xkb_context_unref(state_->context);
    xcb_disconnect(state_->connection);
}

std::optional<std::string> X11KeyLayout::characters(int carbonKeyCode) const {
    if (!physicalKeyForCarbon(carbonKeyCode) || !state_->context) return std::nullopt;
    std::lock_guard lock(state_->mutex);
    const auto device = xkb_x11_get_core_keyboard_device_id(state_->connection);
    if (device < 0) return std::nullopt;
    xkb_keymap* keymap = xkb_x11_keymap_new_from_device(state_->context, state_->connection,
                                                        device, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap) return std::nullopt;
    // The device state tells the active layout.
    xkb_layout_index_t layout = 0;
    if (xkb_state* deviceState = xkb_x11_state_new_from_device(keymap, state_->connection, device)) {
        layout = xkb_state_serialize_layout(deviceState, XKB_STATE_LAYOUT_EFFECTIVE);
        xkb_state_unref(deviceState);
    }
    auto text = xkbKeyCharacters(keymap, layout, carbonKeyCode);
    xkb_keymap_unref(keymap);
    return text;
}

}  // namespace platform::input
