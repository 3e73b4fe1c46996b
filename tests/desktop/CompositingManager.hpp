#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include <X11/Xlib.h>

extern char** environ;

namespace parlox::testing {

// Whether the test desktop's screen has a compositing manager: the owner of
// the screen's compositing selection.
inline bool compositingManagerRuns() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    const std::string selection = "_NET_WM_CM_S" + std::to_string(DefaultScreen(display));
    const bool owned = XGetSelectionOwner(display, XInternAtom(display, selection.c_str(), False)) != None;
    XCloseDisplay(display);
    return owned;
}

// A compositing manager (xcompmgr, which redirects every top-level window
// and paints the screen itself) on the test desktop while the object lives.
class CompositingManager {
public:
    CompositingManager() {
        char program[] = "xcompmgr";
        char* argv[] = {program, nullptr};
        if (::posix_spawnp(&pid_, program, nullptr, nullptr, argv, environ) != 0)
            throw std::runtime_error("cannot start xcompmgr");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (!compositingManagerRuns() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!compositingManagerRuns()) {
            stop();
            throw std::runtime_error("xcompmgr did not take the compositing selection");
        }
    }
    ~CompositingManager() { stop(); }
    CompositingManager(const CompositingManager&) = delete;
    CompositingManager& operator=(const CompositingManager&) = delete;

private:
    void stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }

    pid_t pid_ = -1;
};

}  // namespace parlox::testing
