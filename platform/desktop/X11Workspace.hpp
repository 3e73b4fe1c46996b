#pragma once

#include <memory>
#include <mutex>

#include "platform/desktop/Workspace.hpp"

namespace platform::desktop {

class X11Desktop;
struct TopLevelWindow;

// The workspace on X11 through the window manager's hints (EWMH), with a
// fallback to the X input focus and stacking order when no window manager
// keeps them. An application is named by its window class: the instance half
// is its name, the class half its id. Under Wayland (or without a display)
// there are no applications or windows, and the first use logs why.
class X11Workspace final : public Workspace {
public:
    X11Workspace();
    ~X11Workspace() override;

    std::optional<RunningApplication> frontmostApplication() override;
    std::optional<int32_t> frontmostProcessId() override;
    std::optional<RunningApplication> runningApplication(int32_t pid) override;
    bool activate(int32_t pid) override;
    std::vector<WindowInfo> windowList() override;
    std::vector<Rect> screenFrames() override;
    int32_t currentProcessId() override;
    bool openURL(const std::string& url) override;

private:
    X11Desktop* desktop();
    // The active window, when it names its process; call with mutex_ held.
    std::optional<TopLevelWindow> frontWindow();

    std::mutex mutex_;
    std::unique_ptr<X11Desktop> desktop_;
    bool failed_ = false;
};

// Whether a window class belongs to a terminal emulator.
bool isTerminalClass(const std::string& instance, const std::string& className);

}  // namespace platform::desktop
