#include "platform/foundation/Paths.hpp"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <pwd.h>
#include <unistd.h>

namespace platform {

namespace fs = std::filesystem;

namespace {

// An XDG variable counts only when set to an absolute path.
std::optional<fs::path> absoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (!value || value[0] != '/') return std::nullopt;
    return fs::path(value);
}

fs::path baseOr(const char* variable, const char* fallbackUnderHome) {
    if (auto path = absoluteFromEnvironment(variable)) return *path;
    return Paths::home() / fallbackUnderHome;
}

// One line of user-dirs.dirs: XDG_DOCUMENTS_DIR="$HOME/Documents".
std::optional<fs::path> userDirectory(const std::string& key) {
    std::ifstream file(Paths::xdgConfigHome() / "user-dirs.dirs");
    std::string line;
    std::optional<fs::path> found;
    while (std::getline(file, line)) {
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') continue;
        if (line.compare(start, key.size() + 1, key + "=") != 0) continue;
        std::string value = line.substr(start + key.size() + 1);
        if (value.size() < 2 || value.front() != '"') continue;
        size_t close = value.find('"', 1);
        if (close == std::string::npos) continue;
        value = value.substr(1, close - 1);
        if (value.rfind("$HOME", 0) == 0) {
            std::string rest = value.substr(5);
            if (!rest.empty() && rest.front() != '/') continue;
            // "$HOME/" alone means the home folder itself, which the rules
            // say disables the directory.
            if (rest.empty() || rest == "/") continue;
            found = Paths::home() / fs::path(rest).relative_path();
        } else if (!value.empty() && value.front() == '/') {
            found = fs::path(value);
        }
    }
    return found;
}

}  // namespace

fs::path Paths::home() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') return fs::path(home);
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return fs::path(entry->pw_dir);
    return fs::path("/");
}

std::optional<std::string> Paths::expandingTilde(std::string_view path) {
    if (path.empty() || path.front() != '~') return std::string(path);
    const std::size_t slash = path.find('/');
    const std::string user(path.substr(1, slash == std::string_view::npos ? std::string_view::npos : slash - 1));
    const std::string_view rest = slash == std::string_view::npos ? std::string_view() : path.substr(slash);
    if (user.empty()) return home().string() + std::string(rest);

    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    while (::getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found) == ERANGE) {
        buffer.resize(buffer.size() * 2);
    }
    if (!found || !found->pw_dir) return std::nullopt;
    return std::string(found->pw_dir) + std::string(rest);
}

fs::path Paths::xdgConfigHome() { return baseOr("XDG_CONFIG_HOME", ".config"); }

fs::path Paths::configDirectory() { return xdgConfigHome() / applicationName; }

fs::path Paths::defaultsFile() { return configDirectory() / "defaults.json"; }

fs::path Paths::xdgDataHome() { return baseOr("XDG_DATA_HOME", ".local/share"); }

fs::path Paths::applicationSupportDirectory() { return xdgDataHome() / applicationName; }

fs::path Paths::logsDirectory() {
    return baseOr("XDG_STATE_HOME", ".local/state") / applicationName / "Logs";
}

fs::path Paths::xdgCacheHome() { return baseOr("XDG_CACHE_HOME", ".cache"); }

fs::path Paths::cachesDirectory() { return xdgCacheHome() / applicationName; }

fs::path Paths::documentsDirectory() {
    if (auto documents = userDirectory("XDG_DOCUMENTS_DIR")) return *documents;
    return home() / "Documents";
}

fs::path Paths::temporaryDirectory() {
    if (auto runtime = absoluteFromEnvironment("XDG_RUNTIME_DIR")) return *runtime;
    if (auto tmp = absoluteFromEnvironment("TMPDIR")) return *tmp;
    return fs::path("/tmp");
}

}  // namespace platform
