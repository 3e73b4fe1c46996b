#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/XdgAutostartLoginItem.hpp"

namespace Parlox {

// What the application opens once it has started: the debug switches of the
// process arguments first (the first that applies wins), else the welcome
// window on the first run, else the settings window when there is no tray
// icon to reach the application by and the user started it by hand.
struct LaunchAction {
    enum class Kind { panelCapture, demoOverlay, showWelcome, showSettings, nothing };

    Kind kind = Kind::nothing;
    std::string capturePath;         // panelCapture: the output file
    std::optional<std::string> tab;  // showSettings: the word after the switch, if any

    struct Situation {
        bool hasFinishedSetup = false;
        bool showsMenuBarIcon = true;  // the icon is set to show and the desktop has a tray for it
        bool launchedAtLogin = false;
    };

    // `arguments` without the program path.
    static LaunchAction decide(const std::vector<std::string>& arguments, const Situation& situation);

    friend bool operator==(const LaunchAction&, const LaunchAction&) = default;
};

// Whether this start was made by the login item: its autostart entry sets
// `loginLaunchVariable`, and any start within 180 s of boot counts too.
struct LoginLaunch {
    static constexpr const char* loginLaunchVariable = platform::desktop::XdgAutostartLoginItem::launchMarker;

    static bool detect();
    // The rule itself: the variable set to a non-empty value other than "0",
    // or an uptime below 180 s.
    static bool decide(const char* variable, std::optional<double> uptimeSeconds);
    // Seconds since boot, from /proc/uptime.
    static std::optional<double> uptime();
};

}  // namespace Parlox
