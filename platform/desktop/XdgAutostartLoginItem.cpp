#include "platform/desktop/XdgAutostartLoginItem.hpp"

#include <cstdlib>

#include "platform/desktop/DesktopEntry.hpp"
#include "platform/desktop/DesktopError.hpp"
#include "platform/foundation/FileManager.hpp"
#include "platform/foundation/Paths.hpp"

namespace platform::desktop {

namespace {

// The launch line: the program with the login marker in its environment.
// `env` would take a path holding "=" for one more variable to set, so such
// a path is started through the shell, as its first argument.
std::string launchLine(const std::string& marker, const std::string& path) {
    const std::string setMarker = "env " + marker + "=1 ";
    if (path.find('=') == std::string::npos) return setMarker + DesktopEntry::quoteExec(path);
    return setMarker + DesktopEntry::throughShell(path);
}

}  // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem(std::filesystem::path executable)
    : executable_(executable.empty() ? DesktopEntry::runningProgram() : std::move(executable)) {}

std::filesystem::path XdgAutostartLoginItem::entryPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::filesystem::path base = config != nullptr && *config == '/' ? std::filesystem::path(config)
                                                                          : Paths::home() / ".config";
    return base / "autostart" / "parlox.desktop";
}

bool XdgAutostartLoginItem::isEnabled() {
    std::error_code ec;
    const auto path = entryPath();
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    const std::string entry = FileManager::readFile(path);
    if (DesktopEntry::value(entry, "Hidden") == "true") return false;
    if (DesktopEntry::value(entry, "X-GNOME-Autostart-enabled") == "false") return false;
    return true;
}

void XdgAutostartLoginItem::setEnabled(bool enabled) {
    const auto path = entryPath();
    if (!enabled) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
        if (ec) throw DesktopError(DesktopError::Kind::fileWriteFailed, path.string() + ": " + ec.message());
        return;
    }
    DesktopEntry::write(path, "[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=Parlox\n"
                              "Comment=Dictado por voz\n"
                              "Exec=" + launchLine(launchMarker, executable_.string()) + "\n"
                              "Terminal=false\n"
                              "X-GNOME-Autostart-enabled=true\n");
}

}  // namespace platform::desktop
