#include "platform/desktop/X11Workspace.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>

#include "platform/desktop/DesktopError.hpp"
#include "platform/desktop/X11Desktop.hpp"
#include "platform/log/SystemLog.hpp"
#include "platform/process/DesktopOpener.hpp"
#include "platform/process/ProcessError.hpp"
#include "platform/process/PseudoTerminal.hpp"

namespace platform::desktop {

namespace {

const SystemLogger& log() {
    static const SystemLogger logger("Parlox", "desktop");
    return logger;
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

RunningApplication application(const TopLevelWindow& window) {
    RunningApplication app;
    app.processIdentifier = window.pid;
    if (!window.instance.empty()) app.localizedName = window.instance;
    else if (!window.className.empty()) app.localizedName = window.className;
    if (!window.className.empty()) app.bundleIdentifier = window.className;
    app.isTerminal = isTerminalClass(window.instance, window.className);
    const auto pseudoTerminal = process::pseudoTerminalUse(window.pid);
    app.holdsPseudoTerminal = pseudoTerminal == process::PseudoTerminalUse::holds;
    app.terminalInDoubt = pseudoTerminal == process::PseudoTerminalUse::inDoubt;
    return app;
}

}  // namespace

bool isTerminalClass(const std::string& instance, const std::string& className) {
    static const std::array<const char*, 26> terminals = {
        "xterm", "uxterm", "gnome-terminal", "gnome-terminal-server", "konsole", "xfce4-terminal", "terminator",
        "tilix", "alacritty", "kitty", "urxvt", "rxvt", "st-256color", "st", "lxterminal", "mate-terminal",
        "qterminal", "terminology", "foot", "org.wezfurlong.wezterm", "wezterm", "sakura", "guake", "yakuake",
        "eterm", "cool-retro-term"};
    for (const std::string& name : {lower(instance), lower(className)})
        for (const char* terminal : terminals)
            if (name == terminal) return true;
    return false;
}

X11Workspace::X11Workspace() = default;
X11Workspace::~X11Workspace() = default;

X11Desktop* X11Workspace::desktop() {
    if (desktop_ || failed_) return desktop_.get();
    try {
        desktop_ = std::make_unique<X11Desktop>();
    } catch (const DesktopError& e) {
        failed_ = true;
        log().error("Workspace unavailable: " + e.description());
    }
    return desktop_.get();
}

std::optional<TopLevelWindow> X11Workspace::frontWindow() {
    X11Desktop* x = desktop();
    if (x == nullptr) return std::nullopt;
    auto window = x->activeWindow();
    if (!window || window->pid <= 0) return std::nullopt;
    return window;
}

std::optional<RunningApplication> X11Workspace::frontmostApplication() {
    std::lock_guard lock(mutex_);
    const auto window = frontWindow();
    return window ? std::optional(application(*window)) : std::nullopt;
}

std::optional<int32_t> X11Workspace::frontmostProcessId() {
    std::lock_guard lock(mutex_);
    const auto window = frontWindow();
    return window ? std::optional(window->pid) : std::nullopt;
}

std::optional<RunningApplication> X11Workspace::runningApplication(int32_t pid) {
    std::lock_guard lock(mutex_);
    X11Desktop* x = desktop();
    if (x == nullptr || pid <= 0) return std::nullopt;
    for (const auto& window : x->windowsFrontToBack())
        if (window.pid == pid && window.normal) return application(window);
    return std::nullopt;
}

bool X11Workspace::activate(int32_t pid) {
    std::lock_guard lock(mutex_);
    X11Desktop* x = desktop();
    if (x == nullptr) return false;
    const auto window = x->frontWindowOf(pid);
    if (!window) return false;
    x->activate(*window);
    return true;
}

std::vector<WindowInfo> X11Workspace::windowList() {
    std::lock_guard lock(mutex_);
    std::vector<WindowInfo> out;
    X11Desktop* x = desktop();
    if (x == nullptr) return out;
    for (const auto& window : x->windowsFrontToBack()) {
        if (!window.viewable) continue;
        // Windows that are not ordinary application windows sit above them.
        out.push_back(WindowInfo{static_cast<uint32_t>(window.id), window.pid, window.normal ? 0 : 8,
                                 window.frame});
    }
    return out;
}

std::vector<Rect> X11Workspace::screenFrames() {
    std::lock_guard lock(mutex_);
    X11Desktop* x = desktop();
    return x == nullptr ? std::vector<Rect>{} : x->screens();
}

int32_t X11Workspace::currentProcessId() { return static_cast<int32_t>(::getpid()); }

bool X11Workspace::openURL(const std::string& url) {
    if (url.empty()) return false;
    try {
        process::openWithDesktop(url);
        return true;
    } catch (const process::ProcessError& e) {
        log().error("Cannot open " + url + ": " + e.description());
        return false;
    }
}

}  // namespace platform::desktop
