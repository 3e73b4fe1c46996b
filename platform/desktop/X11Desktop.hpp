#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Geometry.hpp"

typedef struct _XDisplay Display;

namespace platform::desktop {

// A top-level window as the window manager (or, without one, the X server)
// lists it.
struct TopLevelWindow {
    unsigned long id = 0;
    int pid = 0;             // 0 when the window does not say
    std::string instance;    // first half of WM_CLASS: the program's name
    std::string className;   // second half of WM_CLASS
    bool normal = true;      // an ordinary application window (not a dock, menu, tooltip…)
    bool viewable = false;
    Rect frame;              // in root coordinates, whole pixels
};

// One connection to the X server for the desktop's questions: which window
// is in front, whose it is, where it is, the screens, the idle time. Not
// thread-safe: one user at a time. When the connection breaks, the process
// goes on: every answer is empty from then on, and connectionLost() says why.
class X11Desktop {
public:
    // Throws DesktopError: waylandSession under a Wayland session without an
    // X display, noDisplay when the X server cannot be reached.
    X11Desktop();
    ~X11Desktop();
    X11Desktop(const X11Desktop&) = delete;
    X11Desktop& operator=(const X11Desktop&) = delete;

    // Throws DesktopError (waylandSession) when the session is Wayland.
    static void requireX11();

    // The window with the keyboard focus: _NET_ACTIVE_WINDOW when a window
    // manager keeps it, else the top-level window holding the input focus.
    std::optional<TopLevelWindow> activeWindow();
    // The process's front-most viewable ordinary window.
    std::optional<TopLevelWindow> frontWindowOf(int pid);
    // Every top-level window, front to back.
    std::vector<TopLevelWindow> windowsFrontToBack();
    // The screens, the primary one first.
    std::vector<Rect> screens();
    // Brings the window forward with the keyboard focus: asked of the window
    // manager when there is one, done directly otherwise.
    void activate(const TopLevelWindow& window);

    // Seconds since the last keyboard or pointer input; none without the screen saver extension.
    std::optional<double> idleSeconds();

    // Whether the X server closed the connection (it ended, or dropped this client).
    bool connectionLost() const { return lost_; }

    Display* display() const { return display_; }

private:
    Display* display_ = nullptr;
    std::atomic<bool> lost_{false};
    std::optional<TopLevelWindow> describe(unsigned long window);
    unsigned long topLevelOf(unsigned long window);
};

}  // namespace platform::desktop
