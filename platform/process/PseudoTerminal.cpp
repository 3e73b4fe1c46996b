#include "platform/process/PseudoTerminal.hpp"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace platform::process {

namespace {

namespace fs = std::filesystem;

fs::path procOf(int pid) { return fs::path("/proc") / std::to_string(pid); }

// Whether the process holds a master; none when its files cannot be read.
std::optional<bool> holdsMaster(int pid) {
    std::error_code ec;
    fs::directory_iterator files(procOf(pid) / "fd", ec);
    if (ec) return std::nullopt;
    for (; files != fs::directory_iterator(); files.increment(ec)) {
        if (ec) return std::nullopt;
        // A master opened through the multiplexer shows as the multiplexer.
        const auto target = fs::read_symlink(files->path(), ec);
        if (!ec && (target == "/dev/ptmx" || target == "/dev/pts/ptmx")) return true;
    }
    return false;
}

std::optional<int> parentOf(int pid) {
    std::ifstream stat(procOf(pid) / "stat");
    std::string line;
    if (!std::getline(stat, line)) return std::nullopt;
    // The fields after the command name, which is in parentheses and may hold any.
    const auto nameEnd = line.rfind(')');
    if (nameEnd == std::string::npos) return std::nullopt;
    std::istringstream fields(line.substr(nameEnd + 1));
    char state = 0;
    int parent = 0;
    if (!(fields >> state >> parent)) return std::nullopt;
    return parent;
}

// The processes it started, the ones those started, and so on.
std::vector<int> descendantsOf(int pid) {
    std::multimap<int, int> children;
    std::error_code ec;
    for (fs::directory_iterator entry("/proc", ec); !ec && entry != fs::directory_iterator(); entry.increment(ec)) {
        const std::string name = entry->path().filename().string();
        if (name.empty() || !std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c); }))
            continue;
        const int child = std::stoi(name);
        if (const auto parent = parentOf(child)) children.emplace(*parent, child);
    }
    std::vector<int> found;
    std::vector<int> next{pid};
    while (!next.empty()) {
        const int parent = next.back();
        next.pop_back();
        const auto [first, last] = children.equal_range(parent);
        for (auto it = first; it != last; ++it) {
            found.push_back(it->second);
            next.push_back(it->second);
        }
    }
    return found;
}

}  // namespace

PseudoTerminalUse pseudoTerminalUse(int pid) {
    if (pid <= 0) return PseudoTerminalUse::inDoubt;
    const auto own = holdsMaster(pid);
    if (!own) return PseudoTerminalUse::inDoubt;
    if (*own) return PseudoTerminalUse::holds;
    // A helper's files that cannot be read (one run as another user) tell nothing.
    for (const int descendant : descendantsOf(pid))
        if (holdsMaster(descendant).value_or(false)) return PseudoTerminalUse::inDoubt;
    return PseudoTerminalUse::none;
}

}  // namespace platform::process
