#include "platform/desktop/XdgApplicationMenuEntry.hpp"

#include <system_error>

#include "platform/desktop/DesktopEntry.hpp"
#include "platform/desktop/DesktopError.hpp"
#include "platform/foundation/FileManager.hpp"
#include "platform/foundation/Paths.hpp"
#include "platform/process/ExecutableSearch.hpp"

namespace platform::desktop {

namespace {

namespace fs = std::filesystem;

// The program as the Exec line starts it. Desktop launchers look for the
// program an entry names before expanding its field codes, so they take a
// path holding "%" (written "%%") for a missing program; such a path is
// started through the shell, as its first argument.
std::string launchLine(const std::string& path) {
    if (path.find('%') == std::string::npos) return DesktopEntry::quoteExec(path);
    return DesktopEntry::throughShell(path);
}

std::string entryText(const std::string& exec) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Parlox\n"
           "Comment=Dictado por voz\n"
           "Exec=" + exec + "\n"
           "Icon=audio-input-microphone\n"
           "Terminal=false\n"
           "Categories=Utility;Accessibility;\n";
}

// The program of an entry exactly as Parlox writes it, for whichever path
// it was written; none for an entry that someone changed since.
std::optional<std::string> writtenFor(const std::string& text, const std::vector<std::string>& arguments) {
    const auto path =
        arguments.size() == 1 ? std::optional(arguments[0]) : DesktopEntry::startedThroughShell(arguments);
    if (!path || text != entryText(launchLine(*path))) return std::nullopt;
    return path;
}

// The program an Exec line starts: its first argument, or the one after
// `env` with the variables it sets and its options.
std::optional<std::string> startedProgram(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return std::nullopt;
    if (fs::path(arguments[0]).filename() != "env") return arguments[0];
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a == "-u" || a == "-C") {
            ++i;  // its value follows
        } else if (a == "--") {
            if (i + 1 < arguments.size()) return arguments[i + 1];
            break;
        } else if (a.empty() || (a[0] != '-' && a.find('=') == std::string::npos)) {
            return a;
        }
    }
    return std::nullopt;
}

// Whether the entry `text` is to be written anew for `exec`: it says what
// Parlox wrote, for another program, or it starts a program that is gone.
// Anything else the user changed stays.
bool outdated(const std::string& text, const std::string& exec) {
    const auto value = DesktopEntry::value(text, "Exec");
    if (!value) return true;
    if (*value == exec) return false;
    const auto arguments = DesktopEntry::execArguments(*value);
    if (!arguments) return false;
    if (writtenFor(text, *arguments)) return true;
    const auto program = startedProgram(*arguments);
    return program && !process::findExecutable(*program);
}

// Where an entry at `path` lives: the path itself, or for a symbolic link
// the file it leads to, which may be missing. Throws DesktopError on a loop.
fs::path followLinks(fs::path path) {
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(path, ec))) return path;
        const fs::path target = fs::read_symlink(path, ec);
        if (ec) throw DesktopError(DesktopError::Kind::fileWriteFailed, path.string() + ": " + ec.message());
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    throw DesktopError(DesktopError::Kind::fileWriteFailed, path.string() + ": too many symbolic links");
}

}  // namespace

XdgApplicationMenuEntry::XdgApplicationMenuEntry(std::filesystem::path executable)
    : executable_(executable.empty() ? DesktopEntry::runningProgram() : std::move(executable)) {}

std::filesystem::path XdgApplicationMenuEntry::entryPath() {
    return Paths::xdgDataHome() / "applications" / "parlox.desktop";
}

void XdgApplicationMenuEntry::install() {
    const fs::path path = entryPath();
    // A link is the user's: the entry is written where it leads, never over it.
    const fs::path file = followLinks(path);
    const std::string exec = launchLine(executable_.string());
    if (FileManager::isRegularFile(file) && !outdated(FileManager::readFile(file), exec)) return;
    if (file != path && !FileManager::isDirectory(file.parent_path()))
        throw DesktopError(DesktopError::Kind::fileWriteFailed,
                           path.string() + ": it leads into a folder that is gone: " + file.parent_path().string());
    DesktopEntry::write(file, entryText(exec));
}

}  // namespace platform::desktop
