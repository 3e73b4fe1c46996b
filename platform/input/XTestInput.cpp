#include "platform/input/XTestInput.hpp"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <set>

#include "platform/input/InputError.hpp"
#include "platform/input/XlibErrors.hpp"

namespace platform::input {

namespace {

bool hasXTest(Display* d) {
    int event = 0, error = 0, major = 0, minor = 0;
    return XTestQueryExtension(d, &event, &error, &major, &minor) != 0;
}

bool isLockKey(KeySym sym) { return sym == XK_Caps_Lock || sym == XK_Num_Lock || sym == XK_Scroll_Lock; }

}  // namespace

XTestInput::XTestInput() {
    ignoreXlibErrors();
    display_ = XOpenDisplay(nullptr);
    if (display_ == nullptr) throw InputError(InputError::Kind::noDisplay, "cannot open the X display");
    if (!hasXTest(display_)) {
        XCloseDisplay(display_);
        throw InputError(InputError::Kind::noKeyboardExtension, "the X server has no XTEST extension");
    }
}

XTestInput::~XTestInput() { XCloseDisplay(display_); }

bool XTestInput::available() {
    ignoreXlibErrors();
    Display* d = XOpenDisplay(nullptr);
    if (d == nullptr) return false;
    const bool ok = hasXTest(d);
    XCloseDisplay(d);
    return ok;
}

int XTestInput::releaseHeldModifiers() {
    char keys[32];
    XQueryKeymap(display_, keys);
    XModifierKeymap* map = XGetModifierMapping(display_);
    if (map == nullptr) return 0;
    std::set<KeyCode> held;
    for (int i = 0; i < 8 * map->max_keypermod; ++i) {
        const KeyCode code = map->modifiermap[i];
        if (code == 0 || (keys[code / 8] & (1 << (code % 8))) == 0) continue;
        if (isLockKey(XkbKeycodeToKeysym(display_, code, 0, 0))) continue;
        held.insert(code);
    }
    XFreeModifiermap(map);
    for (KeyCode code : held) XTestFakeKeyEvent(display_, code, False, CurrentTime);
    XSync(display_, False);
    return static_cast<int>(held.size());
}

bool XTestInput::tap(const std::vector<std::string>& modifiers, const std::string& key) {
    std::vector<KeyCode> mods;
    for (const auto& name : modifiers) {
        const KeyCode code = XKeysymToKeycode(display_, XStringToKeysym(name.c_str()));
        if (code == 0) return false;
        mods.push_back(code);
    }
    const KeyCode code = XKeysymToKeycode(display_, XStringToKeysym(key.c_str()));
    if (code == 0) return false;
    for (KeyCode m : mods) XTestFakeKeyEvent(display_, m, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    for (auto it = mods.rbegin(); it != mods.rend(); ++it) XTestFakeKeyEvent(display_, *it, False, CurrentTime);
    XSync(display_, False);
    return true;
}

std::optional<std::pair<int, int>> XTestInput::pointer() {
    Window root = 0, child = 0;
    int x = 0, y = 0, wx = 0, wy = 0;
    unsigned int mask = 0;
    if (!XQueryPointer(display_, DefaultRootWindow(display_), &root, &child, &x, &y, &wx, &wy, &mask))
        return std::nullopt;
    return std::make_pair(x, y);
}

void XTestInput::movePointer(int x, int y) {
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    XSync(display_, False);
}

}  // namespace platform::input
