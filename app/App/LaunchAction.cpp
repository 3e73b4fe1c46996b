#include "app/App/LaunchAction.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <locale>

namespace Parlox {

LaunchAction LaunchAction::decide(const std::vector<std::string>& arguments, const Situation& situation) {
    auto find = [&](const char* name) { return std::find(arguments.begin(), arguments.end(), name); };
    if (auto at = find("--show-panel-capture"); at != arguments.end() && at + 1 != arguments.end()) {
        return {Kind::panelCapture, *(at + 1), std::nullopt};
    }
    if (find("--demo-overlay") != arguments.end()) return {Kind::demoOverlay, {}, std::nullopt};
    if (find("--show-welcome") != arguments.end()) return {Kind::showWelcome, {}, std::nullopt};
    if (auto at = find("--show-settings"); at != arguments.end()) {
        return {Kind::showSettings, {}, at + 1 != arguments.end() ? std::optional(*(at + 1)) : std::nullopt};
    }
    if (!situation.hasFinishedSetup) return {Kind::showWelcome, {}, std::nullopt};
    if (!situation.showsMenuBarIcon && !situation.launchedAtLogin) return {Kind::showSettings, {}, std::nullopt};
    return {};
}

bool LoginLaunch::decide(const char* variable, std::optional<double> uptimeSeconds) {
    if (variable && *variable && std::strcmp(variable, "0") != 0) return true;
    return uptimeSeconds && *uptimeSeconds < 180;
}

std::optional<double> LoginLaunch::uptime() {
    std::ifstream file("/proc/uptime");
    file.imbue(std::locale::classic());
    double seconds = 0;
    if (file >> seconds) return seconds;
    return std::nullopt;
}

bool LoginLaunch::detect() { return decide(std::getenv(loginLaunchVariable), uptime()); }

}  // namespace Parlox
