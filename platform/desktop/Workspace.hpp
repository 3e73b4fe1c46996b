#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Geometry.hpp"

namespace platform::desktop {

// A running application with at least one window.
struct RunningApplication {
    int32_t processIdentifier = 0;
    std::optional<std::string> localizedName;     // the name the desktop shows
    std::optional<std::string> bundleIdentifier;  // the application's id (its window class)
    bool isTerminal = false;                      // a terminal emulator, known by its name
    // It holds a pseudo-terminal's master side: a terminal emulator, or a
    // program with a terminal inside.
    bool holdsPseudoTerminal = false;
    // It may drive a terminal: a process it started holds a master side, or
    // what it holds cannot be read (another user's or a sandboxed program).
    bool terminalInDoubt = false;

    friend bool operator==(const RunningApplication&, const RunningApplication&) = default;
};

// One on-screen window, as the window list gives it.
struct WindowInfo {
    uint32_t windowNumber = 0;
    int32_t ownerProcessId = 0;
    // 0 for ordinary application windows; docks, panels, menus and the like
    // sit on other layers.
    int32_t layer = 0;
    Rect frame;

    friend bool operator==(const WindowInfo&, const WindowInfo&) = default;
};

// The desktop's applications, windows and screens. Thread-safe.
class Workspace {
public:
    virtual ~Workspace() = default;

    // The application whose window is active; none when no window is.
    virtual std::optional<RunningApplication> frontmostApplication() = 0;
    // Its process id alone, without looking at what the process holds.
    virtual std::optional<int32_t> frontmostProcessId() = 0;
    // The running application with this process id, if it has a window.
    virtual std::optional<RunningApplication> runningApplication(int32_t pid) = 0;
    // Asks the desktop to bring the application's front window forward and
    // give it the focus. True when the request was made; whether it took
    // effect shows in frontmostApplication() a moment later.
    virtual bool activate(int32_t pid) = 0;

    // The windows on screen, front to back, without the desktop itself.
    virtual std::vector<WindowInfo> windowList() = 0;
    // Each screen's frame, the primary screen first.
    virtual std::vector<Rect> screenFrames() = 0;

    // This process's id, as applications are identified.
    virtual int32_t currentProcessId() = 0;
    // Opens a web address or a settings link with the desktop's handler;
    // false when nothing could open it.
    virtual bool openURL(const std::string& url) = 0;
};

}  // namespace platform::desktop
