#include "platform/desktop/XdgSystemSettings.hpp"

#include <filesystem>
#include <vector>

#include "platform/log/SystemLog.hpp"
#include "platform/process/ProcessError.hpp"
#include "platform/process/Subprocess.hpp"

namespace platform::desktop {

namespace {

struct Launcher {
    const char* program;
    std::vector<std::string> (*arguments)(const std::string& anchor);
};

std::optional<std::filesystem::path> onPath(const char* program) {
    for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin"}) {
        const auto path = std::filesystem::path(dir) / program;
        std::error_code ec;
        if (std::filesystem::exists(path, ec)) return path;
    }
    return std::nullopt;
}

}  // namespace

bool XdgSystemSettings::openPrivacySettings(const std::string& anchor) {
    static const SystemLogger log("Parlox", "desktop");
    const Launcher launchers[] = {
        {"gnome-control-center",
         [](const std::string& a) { return std::vector<std::string>{a == "Privacy_Microphone" ? "sound" : "privacy"}; }},
        {"systemsettings",
         [](const std::string& a) {
             return std::vector<std::string>{a == "Privacy_Microphone" ? "kcm_pulseaudio" : "kcm_access"};
         }},
    };
    for (const auto& launcher : launchers) {
        const auto path = onPath(launcher.program);
        if (!path) continue;
        try {
            process::Options options;
            options.executable = *path;
            options.arguments = launcher.arguments(anchor);
            process::startDetached(options);
            return true;
        } catch (const process::ProcessError& e) {
            log.error(std::string("Cannot open the settings: ") + e.description());
            return false;
        }
    }
    log.info("No desktop settings program to open for " + anchor);
    return false;
}

}  // namespace platform::desktop
