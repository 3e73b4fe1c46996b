#include "platform/input/X11KeyboardState.hpp"

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdlib>

#include "platform/input/SessionType.hpp"
#include "platform/input/X11Keycodes.hpp"
#include "platform/log/SystemLog.hpp"

namespace platform::input {

namespace {

const SystemLogger& keyboardLog() {
    static const SystemLogger logger("Parlox", "input");
    return logger;
}

}  // namespace

struct X11KeyboardState::Connection {
    xcb_connection_t* xcb = nullptr;
    xkb_keymap* keymap = nullptr;  // none without the keyboard extension
    int minKeycode = 8;
    int maxKeycode = 255;

    Connection() {
        xcb = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(xcb)) return;
        const xcb_setup_t* setup = xcb_get_setup(xcb);
        minKeycode = setup->min_keycode;
        maxKeycode = setup->max_keycode;
        if (xkb_x11_setup_xkb_extension(xcb, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                        XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr,
                                        nullptr) != 1)
            return;
        xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        keymap = loadCoreKeymap(xcb, context);
        if (context) xkb_context_unref(context);
    }
    ~Connection() {
        if (keymap) xkb_keymap_unref(keymap);
        xcb_disconnect(xcb);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool usable() const { return !xcb_connection_has_error(xcb); }
};

X11KeyboardState::X11KeyboardState() = default;
X11KeyboardState::~X11KeyboardState() = default;

X11KeyboardState::Connection* X11KeyboardState::connection() {
    if (connection_ && connection_->usable()) return connection_.get();
    connection_.reset();
    if (failed_) return nullptr;
    if (waylandWithoutX11()) {
        failed_ = true;
        keyboardLog().error("Wayland session: the keyboard's state needs X11; no key counts as held");
        return nullptr;
    }
    auto opened = std::make_unique<Connection>();
    if (!opened->usable()) {
        failed_ = true;
        const char* display = std::getenv("DISPLAY");
        keyboardLog().error(std::string("The keyboard's state cannot be read: no X display \"") + (display ? display : "") +
                    "\"; no key counts as held");
        return nullptr;
    }
    connection_ = std::move(opened);
    return connection_.get();
}

bool X11KeyboardState::anyDown(const std::vector<int>& carbonKeyCodes) {
    std::lock_guard lock(mutex_);
    Connection* c = connection();
    if (c == nullptr || carbonKeyCodes.empty()) return false;
    xcb_query_keymap_reply_t* reply = xcb_query_keymap_reply(c->xcb, xcb_query_keymap(c->xcb), nullptr);
    if (reply == nullptr) return false;
    bool down = false;
    for (const int carbon : carbonKeyCodes) {
        const auto code = x11KeycodeForCarbon(c->keymap, carbon, c->minKeycode, c->maxKeycode);
        if (code && (reply->keys[*code / 8] & (1 << (*code % 8))) != 0) down = true;
    }
    std::free(reply);
    return down;
}

}  // namespace platform::input
