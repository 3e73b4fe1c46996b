#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <string>
#include <vector>

#include "platform/input/X11KeyboardState.hpp"
#include "platform/input/XTestKeySynth.hpp"
#include "tests/desktop/DesktopSession.hpp"

using platform::input::KeyTarget;
using platform::input::XTestKeySynth;

namespace {

// A window of the test's own that holds the keyboard focus and writes down
// each key press with the modifiers held at the time ("ctrl+shift+v").
class KeyWitness {
public:
    KeyWitness() : display_(XOpenDisplay(nullptr)) {
        window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 50, 50, 0, 0, 0);
        XSelectInput(display_, window_, KeyPressMask | FocusChangeMask | ExposureMask);
        XMapRaised(display_, window_);
        XSync(display_, False);
        parlox::testing::eventually([&] {
            XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
            XSync(display_, False);
            Window focus = 0;
            int revert = 0;
            XGetInputFocus(display_, &focus, &revert);
            return focus == window_;
        });
    }
    ~KeyWitness() {
        XDestroyWindow(display_, window_);
        XCloseDisplay(display_);
    }

    std::vector<std::string> presses() {
        std::vector<std::string> out;
        XSync(display_, False);
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type != KeyPress) continue;
            const KeySym sym = XkbKeycodeToKeysym(display_, static_cast<KeyCode>(event.xkey.keycode), 0, 0);
            if (IsModifierKey(sym)) continue;
            std::string name;
            if (event.xkey.state & ControlMask) name += "ctrl+";
            if (event.xkey.state & ShiftMask) name += "shift+";
            if (event.xkey.state & Mod1Mask) name += "alt+";
            out.push_back(name + XKeysymToString(sym));
        }
        return out;
    }

    void hold(KeySym key) {
        XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, key), True, CurrentTime);
        XSync(display_, False);
    }
    void letGo(KeySym key) {
        XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, key), False, CurrentTime);
        XSync(display_, False);
    }

private:
    Display* display_;
    Window window_ = 0;
};

TEST(KeySynth, PostsTheShortcutsEachTargetTakesWithoutTheUsersHeldAlt) {
    KeyWitness witness;
    XTestKeySynth keys;
    witness.hold(XK_Alt_L);
    keys.paste(KeyTarget::ordinary);
    witness.hold(XK_Alt_L);
    EXPECT_TRUE(keys.copy(KeyTarget::ordinary));
    EXPECT_TRUE(keys.undo(KeyTarget::ordinary));
    // A terminal takes Shift+Insert, and neither the copy nor the undo key
    // (both reach its program as an interrupt or a suspend).
    keys.paste(KeyTarget::terminal);
    EXPECT_FALSE(keys.copy(KeyTarget::terminal));
    EXPECT_FALSE(keys.undo(KeyTarget::terminal));
    // A program that may be a terminal keeps its own paste key only.
    keys.paste(KeyTarget::mayBeTerminal);
    EXPECT_FALSE(keys.copy(KeyTarget::mayBeTerminal));
    EXPECT_FALSE(keys.undo(KeyTarget::mayBeTerminal));
    keys.deleteBackward();
    std::vector<std::string> seen;
    ASSERT_TRUE(parlox::testing::eventually([&] {
        for (auto& p : witness.presses()) seen.push_back(p);
        return seen.size() >= 6;
    }));
    EXPECT_EQ(seen, (std::vector<std::string>{"ctrl+v", "ctrl+c", "ctrl+z", "shift+Insert", "ctrl+v", "BackSpace"}));
}

TEST(KeySynth, NudgeMovesThePointerOneStepAndBack) {
    Display* display = XOpenDisplay(nullptr);
    XWarpPointer(display, None, DefaultRootWindow(display), 0, 0, 0, 0, 300, 200);
    XSync(display, False);
    XTestKeySynth keys;
    keys.nudgePointer();
    Window root = 0, child = 0;
    int x = 0, y = 0, wx = 0, wy = 0;
    unsigned int mask = 0;
    XQueryPointer(display, DefaultRootWindow(display), &root, &child, &x, &y, &wx, &wy, &mask);
    EXPECT_EQ(x, 300);
    EXPECT_EQ(y, 200);
    XCloseDisplay(display);
}

// The server's own keyboard state: a key held down from another connection
// (as the user's hand holds it) is down until it is let go, and only that key.
TEST(KeyboardState, TellsTheKeysHeldDownOnTheDisplay) {
    constexpr int escape = 53, space = 49, keyA = 0;  // Carbon key codes
    KeyWitness witness;
    platform::input::X11KeyboardState keyboard;
    EXPECT_FALSE(keyboard.anyDown({escape, space}));
    witness.hold(XK_Escape);
    EXPECT_TRUE(keyboard.anyDown({escape, space}));
    EXPECT_TRUE(keyboard.anyDown({keyA, escape}));
    EXPECT_FALSE(keyboard.anyDown({space, keyA}));
    witness.letGo(XK_Escape);
    EXPECT_FALSE(keyboard.anyDown({escape, space}));
    witness.hold(XK_space);
    EXPECT_TRUE(keyboard.anyDown({escape, space}));
    witness.letGo(XK_space);
    EXPECT_FALSE(keyboard.anyDown({escape, space}));
    EXPECT_FALSE(keyboard.anyDown({}));
}

}  // namespace
