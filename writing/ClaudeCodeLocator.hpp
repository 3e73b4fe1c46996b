#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ParloxCore {

// Finds the `claude` executable, preferring the newest copy the desktop
// application keeps in its support folder.
struct ClaudeCodeLocator {
    using Lookup = std::function<std::optional<std::filesystem::path>()>;

    // May run the login shell: call it off the main thread.
    static std::optional<std::filesystem::path> locate(const std::filesystem::path& home);
    // The same with the fixed system folders and the shell lookup given.
    static std::optional<std::filesystem::path> locate(const std::filesystem::path& home,
                                                       const std::vector<std::filesystem::path>& systemPaths,
                                                       const Lookup& loginShell);
    static std::optional<std::filesystem::path> newestBundled(const std::filesystem::path& home);
    static std::optional<std::filesystem::path> loginShellLookup();

    // Version names compared with their digit runs as numbers: "2.10.0" > "2.9.1".
    static int compareNumerically(std::string_view a, std::string_view b);
};

}  // namespace ParloxCore
