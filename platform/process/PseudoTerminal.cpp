#include "platform/process/PseudoTerminal.hpp"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace platform::process {

namespace {

namespace fs = std::filesystem;

// Whether the process holds a master; none when its files cannot be read.
std::optional<bool> holdsMaster(const fs::path& process) {
    std::error_code ec;
    fs::directory_iterator files(process / "fd", ec);
    if (ec) return std::nullopt;
    for (; files != fs::directory_iterator(); files.increment(ec)) {
        if (ec) return std::nullopt;
        // A master opened through the multiplexer shows as the multiplexer.
        const auto target = fs::read_symlink(files->path(), ec);
        if (!ec && (target == "/dev/ptmx" || target == "/dev/pts/ptmx")) return true;
    }
    return false;
}

std::optional<int> parentOf(const fs::path& process) {
    std::ifstream stat(process / "stat");
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

// The processes the process's threads started, from the kernel's list of
// each thread's children; none when a list is not there (a kernel that
// keeps none, or a thread that just ended).
std::optional<std::vector<int>> listedChildren(const fs::path& process) {
    std::error_code ec;
    fs::directory_iterator threads(process / "task", ec);
    if (ec) return std::nullopt;
    std::vector<int> children;
    for (; threads != fs::directory_iterator(); threads.increment(ec)) {
        if (ec) return std::nullopt;
        std::ifstream list(threads->path() / "children");
        if (!list) return std::nullopt;
        for (int child = 0; list >> child;) children.push_back(child);
    }
    return children;
}

// Every process's parent, from each one's stat: the whole table is read.
std::multimap<int, int> childrenByParent(const fs::path& proc) {
    std::multimap<int, int> children;
    std::error_code ec;
    for (fs::directory_iterator entry(proc, ec); !ec && entry != fs::directory_iterator(); entry.increment(ec)) {
        const std::string name = entry->path().filename().string();
        if (name.empty() || !std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c); }))
            continue;
        if (const auto parent = parentOf(entry->path())) children.emplace(*parent, std::stoi(name));
    }
    return children;
}

using ChildLister = std::function<std::optional<std::vector<int>>(int)>;

// The processes `pid` started, the ones those started, and so on; none
// when `childrenOf` cannot list one's children.
std::optional<std::vector<int>> descendants(int pid, const ChildLister& childrenOf) {
    std::vector<int> found;
    // Read at different moments, the lists may loop where an id was reused.
    std::set<int> seen{pid};
    std::vector<int> next{pid};
    while (!next.empty()) {
        const auto children = childrenOf(next.back());
        next.pop_back();
        if (!children) return std::nullopt;
        for (const int child : *children) {
            if (!seen.insert(child).second) continue;
            found.push_back(child);
            next.push_back(child);
        }
    }
    return found;
}

// Only the process's own subtree is read, unless the kernel does not list children.
std::vector<int> descendantsOf(int pid, const fs::path& proc) {
    if (auto listed = descendants(pid, [&](int parent) { return listedChildren(proc / std::to_string(parent)); }))
        return *listed;
    const auto table = childrenByParent(proc);
    return descendants(pid, [&](int parent) {
               const auto [first, last] = table.equal_range(parent);
               std::vector<int> children;
               for (auto it = first; it != last; ++it) children.push_back(it->second);
               return std::optional(children);
           }).value_or(std::vector<int>{});
}

}  // namespace

PseudoTerminalUse pseudoTerminalUse(int pid) { return pseudoTerminalUse(pid, "/proc"); }

PseudoTerminalUse pseudoTerminalUse(int pid, const fs::path& proc) {
    if (pid <= 0) return PseudoTerminalUse::inDoubt;
    const auto own = holdsMaster(proc / std::to_string(pid));
    if (!own) return PseudoTerminalUse::inDoubt;
    if (*own) return PseudoTerminalUse::holds;
    // A helper's files that cannot be read (one run as another user) tell nothing.
    for (const int descendant : descendantsOf(pid, proc))
        if (holdsMaster(proc / std::to_string(descendant)).value_or(false)) return PseudoTerminalUse::inDoubt;
    return PseudoTerminalUse::none;
}

}  // namespace platform::process
