#include "writing/ClaudeCodeLocator.hpp"

#include <algorithm>
#include <system_error>

#include "platform/process/LoginShell.hpp"
#include "writing/RequestFolder.hpp"

namespace ParloxCore {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> listNames(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) return names;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        names.push_back(it->path().filename().string());
    }
    // Listing order is arbitrary here; sort for a stable choice.
    std::sort(names.begin(), names.end());
    return names;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int ClaudeCodeLocator::compareNumerically(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t si = i, sj = j;
            while (si < a.size() && a[si] == '0') ++si;
            while (sj < b.size() && b[sj] == '0') ++sj;
            std::size_t ei = si, ej = sj;
            while (ei < a.size() && isDigit(a[ei])) ++ei;
            while (ej < b.size() && isDigit(b[ej])) ++ej;
            if (ei - si != ej - sj) return ei - si < ej - sj ? -1 : 1;
            if (int c = a.substr(si, ei - si).compare(b.substr(sj, ej - sj)); c != 0) return c < 0 ? -1 : 1;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
            ++i;
            ++j;
        }
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

std::optional<fs::path> ClaudeCodeLocator::newestBundled(const fs::path& home) {
    const fs::path support = home / "Library/Application Support/Claude/claude-code";
    std::error_code ec;
    if (!fs::is_directory(support, ec)) return std::nullopt;
    auto versions = listNames(support);
    std::stable_sort(versions.begin(), versions.end(),
                     [](const std::string& a, const std::string& b) { return compareNumerically(a, b) > 0; });
    for (const auto& version : versions) {
        for (const auto& entry : listNames(support / version)) {
            fs::path candidate = support / version / entry / "claude.app/Contents/MacOS/claude";
            if (ToolOutput::isExecutableFile(candidate)) return candidate;
        }
    }
    return std::nullopt;
}

std::optional<fs::path> ClaudeCodeLocator::locate(const fs::path& home) {
    return locate(home, {"/opt/homebrew/bin/claude", "/usr/local/bin/claude"}, &ClaudeCodeLocator::loginShellLookup);
}

std::optional<fs::path> ClaudeCodeLocator::locate(const fs::path& home, const std::vector<fs::path>& systemPaths,
                                                  const Lookup& loginShell) {
    if (auto bundled = newestBundled(home)) return bundled;
    std::vector<fs::path> candidates = {home / ".local/bin/claude", home / ".claude/local/claude"};
    candidates.insert(candidates.end(), systemPaths.begin(), systemPaths.end());
    for (const auto& path : candidates) {
        if (ToolOutput::isExecutableFile(path)) return path;
    }
    if (loginShell) return loginShell();
    return std::nullopt;
}

std::optional<fs::path> ClaudeCodeLocator::loginShellLookup() {
    return platform::process::LoginShell::lookup("claude");
}

}  // namespace ParloxCore
