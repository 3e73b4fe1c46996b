#include "platform/desktop/XdgSystemSettings.hpp"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "platform/log/SystemLog.hpp"
#include "platform/process/ExecutableSearch.hpp"
#include "platform/process/ProcessError.hpp"

namespace platform::desktop {
namespace {

constexpr const char* sound = "Privacy_Microphone";
constexpr const char* accessibility = "Privacy_Accessibility";

const SystemLogger& log() {
    static const SystemLogger logger("Parlox", "desktop");
    return logger;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);)
        if (!part.empty()) parts.push_back(part);
    return parts;
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

const std::vector<XdgSystemSettings::Page>& XdgSystemSettings::pages() {
    static const std::vector<Page> table = {
        {{"GNOME", "Unity"}, sound, "gnome-control-center", {"sound"}},
        {{"GNOME", "Unity"}, accessibility, "gnome-control-center", {"universal-access"}},
        {{"KDE"}, sound, "systemsettings", {"kcm_pulseaudio"}},
        {{"KDE"}, accessibility, "systemsettings", {"kcm_access"}},
        {{"XFCE"}, accessibility, "xfce4-accessibility-settings", {}},
        {{"MATE"}, sound, "mate-volume-control", {}},
        {{"MATE"}, accessibility, "mate-at-properties", {}},
        {{"X-Cinnamon"}, sound, "cinnamon-settings", {"sound"}},
        {{"X-Cinnamon"}, accessibility, "cinnamon-settings", {"accessibility"}},
        {{"LXQt"}, sound, "pavucontrol-qt", {}},
        {{}, sound, "pavucontrol", {}},
    };
    return table;
}

XdgSystemSettings::XdgSystemSettings()
    : XdgSystemSettings(environment("XDG_CURRENT_DESKTOP"), process::executableSearchPath()) {}

XdgSystemSettings::XdgSystemSettings(std::string currentDesktop, std::string searchPath, Start start)
    : currentDesktops_(split(currentDesktop, ':')), searchPath_(std::move(searchPath)), start_(std::move(start)) {
    if (!start_) start_ = [](process::Options options) { process::startDetached(std::move(options)); };
}

bool XdgSystemSettings::isCurrent(const Page& page) const {
    if (page.desktops.empty()) return true;
    return std::any_of(page.desktops.begin(), page.desktops.end(), [this](const std::string& desktop) {
        return std::find(currentDesktops_.begin(), currentDesktops_.end(), desktop) != currentDesktops_.end();
    });
}

std::optional<XdgSystemSettings::Found> XdgSystemSettings::find(const std::string& anchor) const {
    for (const Page& page : pages()) {
        if (page.anchor != anchor || !isCurrent(page)) continue;
        if (auto executable = process::findExecutable(page.program, searchPath_)) return Found{&page, *executable};
    }
    return std::nullopt;
}

bool XdgSystemSettings::hasPrivacySettings(const std::string& anchor) { return find(anchor).has_value(); }

bool XdgSystemSettings::openPrivacySettings(const std::string& anchor) {
    const auto found = find(anchor);
    if (!found) {
        log().info("No desktop settings program to open for " + anchor);
        return false;
    }
    try {
        process::Options options;
        options.executable = found->executable;
        options.arguments = found->page->arguments;
        start_(std::move(options));
        return true;
    } catch (const process::ProcessError& e) {
        log().error(std::string("Cannot open the settings: ") + e.description());
        return false;
    }
}

}  // namespace platform::desktop
