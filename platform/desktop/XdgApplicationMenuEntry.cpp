#include "platform/desktop/XdgApplicationMenuEntry.hpp"

#include <system_error>

#include "platform/desktop/DesktopEntry.hpp"
#include "platform/foundation/FileManager.hpp"
#include "platform/foundation/Paths.hpp"

namespace platform::desktop {

namespace {

// The program as the Exec line starts it. Desktop launchers look for the
// program an entry names before expanding its field codes, so they take a
// path holding "%" (written "%%") for a missing program; such a path is
// started through the shell, as its first argument.
std::string launchLine(const std::string& path) {
    if (path.find('%') == std::string::npos) return DesktopEntry::quoteExec(path);
    return "/bin/sh -c " + DesktopEntry::quoteExec("exec \"$0\"") + " " + DesktopEntry::quoteExec(path);
}

}  // namespace

XdgApplicationMenuEntry::XdgApplicationMenuEntry(std::filesystem::path executable)
    : executable_(executable.empty() ? DesktopEntry::runningProgram() : std::move(executable)) {}

std::filesystem::path XdgApplicationMenuEntry::entryPath() {
    return Paths::xdgDataHome() / "applications" / "parlox.desktop";
}

void XdgApplicationMenuEntry::install() {
    const auto path = entryPath();
    const std::string exec = launchLine(executable_.string());
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec) &&
        DesktopEntry::value(FileManager::readFile(path), "Exec") == exec)
        return;
    DesktopEntry::write(path, "[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=Parlox\n"
                              "Comment=Dictado por voz\n"
                              "Exec=" + exec + "\n"
                              "Icon=audio-input-microphone\n"
                              "Terminal=false\n"
                              "Categories=Utility;Accessibility;\n");
}

}  // namespace platform::desktop
