#include "platform/desktop/XdgAutostartLoginItem.hpp"

#include <cstdlib>
#include <sstream>

#include "platform/desktop/DesktopError.hpp"
#include "platform/foundation/FileManager.hpp"
#include "platform/foundation/Paths.hpp"
#include "platform/foundation/Trim.hpp"

namespace platform::desktop {

namespace {

// A path quoted for an Exec line: inside double quotes, with the characters
// the entry format reserves escaped (and backslashes doubled once more, as
// the key's value is itself unescaped first); line breaks and tabs, which a
// value cannot hold as they are, written as that unescaping's sequences.
std::string quoteExec(const std::string& path) {
    std::string out = "\"";
    for (char c : path) {
        if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (c == '\r') out += "\\r";
        else {
            if (c == '"' || c == '`' || c == '$') out += "\\\\";
            if (c == '\\') out += "\\\\\\";
            if (c == '%') out += '%';
            out += c;
        }
    }
    return out + "\"";
}

// The launch line: the program with the login marker in its environment.
// `env` would take a path holding "=" for one more variable to set, so such
// a path is started through the shell, as its first argument.
std::string launchLine(const std::string& marker, const std::string& path) {
    const std::string setMarker = "env " + marker + "=1 ";
    if (path.find('=') == std::string::npos) return setMarker + quoteExec(path);
    return setMarker + "/bin/sh -c " + quoteExec("exec \"$0\"") + " " + quoteExec(path);
}

}  // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem(std::filesystem::path executable) : executable_(std::move(executable)) {
    if (executable_.empty()) {
        std::error_code ec;
        executable_ = std::filesystem::read_symlink("/proc/self/exe", ec);
        if (ec) executable_ = "parlox";
    }
}

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
    std::istringstream lines(FileManager::readFile(path));
    std::string line;
    bool inEntry = false;
    while (std::getline(lines, line)) {
        line = trimmingAscii(line, kAsciiWhitespace);
        if (!line.empty() && line.front() == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        const auto equals = line.find('=');
        if (!inEntry || equals == std::string::npos) continue;
        const std::string key = trimmingAscii(line.substr(0, equals), kAsciiWhitespace);
        const std::string value = trimmingAscii(line.substr(equals + 1), kAsciiWhitespace);
        if (key == "Hidden" && value == "true") return false;
        if (key == "X-GNOME-Autostart-enabled" && value == "false") return false;
    }
    return true;
}

void XdgAutostartLoginItem::setEnabled(bool enabled) {
    const auto path = entryPath();
    std::error_code ec;
    if (!enabled) {
        std::filesystem::remove(path, ec);
        if (ec) throw DesktopError(DesktopError::Kind::fileWriteFailed, path.string() + ": " + ec.message());
        return;
    }
    std::filesystem::create_directories(path.parent_path(), ec);
    if (ec) throw DesktopError(DesktopError::Kind::fileWriteFailed, path.parent_path().string() + ": " + ec.message());
    const std::string entry = "[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=Parlox\n"
                              "Comment=Dictado por voz\n"
                              "Exec=" + launchLine(launchMarker, executable_.string()) + "\n"
                              "Terminal=false\n"
                              "X-GNOME-Autostart-enabled=true\n";
    try {
        FileManager::writeAtomically(path, entry, 0644);
    } catch (const std::exception& e) {
        throw DesktopError(DesktopError::Kind::fileWriteFailed, path.string() + ": " + e.what());
    }
}

}  // namespace platform::desktop
