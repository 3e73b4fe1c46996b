#include "platform/desktop/DesktopEntry.hpp"

#include <sstream>
#include <system_error>

#include "platform/desktop/DesktopError.hpp"
#include "platform/foundation/FileManager.hpp"
#include "platform/foundation/Trim.hpp"

namespace platform::desktop {

std::filesystem::path DesktopEntry::runningProgram() {
    std::error_code ec;
    auto program = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path("parlox") : program;
}

// Inside double quotes, with the characters the entry format reserves
// escaped (and backslashes doubled once more, as the key's value is itself
// unescaped first); line breaks and tabs, which a value cannot hold as they
// are, written as that unescaping's sequences.
std::string DesktopEntry::quoteExec(const std::string& path) {
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

std::optional<std::string> DesktopEntry::value(const std::string& text, const std::string& key) {
    std::istringstream lines(text);
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
        if (trimmingAscii(line.substr(0, equals), kAsciiWhitespace) == key)
            return trimmingAscii(line.substr(equals + 1), kAsciiWhitespace);
    }
    return std::nullopt;
}

void DesktopEntry::write(const std::filesystem::path& path, const std::string& text) {
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    if (ec) throw DesktopError(DesktopError::Kind::fileWriteFailed, path.parent_path().string() + ": " + ec.message());
    try {
        FileManager::writeAtomically(path, text, 0644);
    } catch (const std::exception& e) {
        throw DesktopError(DesktopError::Kind::fileWriteFailed, path.string() + ": " + e.what());
    }
}

}  // namespace platform::desktop
