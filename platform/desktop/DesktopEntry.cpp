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

namespace {

const char* const shellStart = "exec \"$0\"";

}  // namespace

std::string DesktopEntry::throughShell(const std::string& path) {
    return "/bin/sh -c " + quoteExec(shellStart) + " " + quoteExec(path);
}

std::optional<std::string> DesktopEntry::startedThroughShell(const std::vector<std::string>& arguments) {
    if (arguments.size() == 4 && arguments[0] == "/bin/sh" && arguments[1] == "-c" && arguments[2] == shellStart)
        return arguments[3];
    return std::nullopt;
}

namespace {

// A value's own escapes: \s, \n, \t, \r and \\.
std::string unescapeValue(const std::string& value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (const char next = value[++i]) {
            case 's': out += ' '; break;
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case '\\': out += '\\'; break;
            default: out += '\\'; out += next;
        }
    }
    return out;
}

// "%%" is a percent sign; any other "%" and a letter is a field code the
// launcher fills in, which names no program of the entry's own.
std::optional<std::string> withoutFieldCodes(const std::string& argument) {
    std::string out;
    for (size_t i = 0; i < argument.size(); ++i) {
        if (argument[i] != '%' || i + 1 == argument.size()) {
            out += argument[i];
        } else if (argument[++i] == '%') {
            out += '%';
        }
    }
    if (out.empty() && !argument.empty()) return std::nullopt;
    return out;
}

}  // namespace

std::optional<std::vector<std::string>> DesktopEntry::execArguments(const std::string& exec) {
    const std::string line = unescapeValue(exec);
    std::vector<std::string> arguments;
    std::string current;
    bool inWord = false, quoted = false;
    auto endWord = [&] {
        if (inWord) {
            if (auto argument = withoutFieldCodes(current)) arguments.push_back(std::move(*argument));
        }
        current.clear();
        inWord = false;
    };
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"') quoted = false;
            else if (c == '\\' && i + 1 < line.size()) current += line[++i];
            else current += c;
        } else if (c == ' ' || c == '\t') {
            endWord();
        } else {
            inWord = true;
            if (c == '"') quoted = true;
            else current += c;
        }
    }
    if (quoted) return std::nullopt;
    endWord();
    return arguments;
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
