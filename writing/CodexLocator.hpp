#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ParloxCore {

// Finds the `codex` executable, honouring a path typed in the settings.
struct CodexLocator {
    using Lookup = std::function<std::optional<std::filesystem::path>()>;

    // Where to look after the override, in order.
    struct Candidates {
        std::filesystem::path bundled;                  // the copy inside the desktop application
        Lookup loginShell;                              // the user's login shell answer
        std::vector<std::filesystem::path> fixedPaths;  // then these
    };

    static const std::filesystem::path& chatGPTBundled();
    static Candidates defaultCandidates();

    // A non-blank override ("~" is the home folder, "~name" that account's)
    // is the only candidate when set. May run the login shell: call it off the main thread.
    static std::optional<std::filesystem::path> locate(const std::optional<std::string>& override);
    static std::optional<std::filesystem::path> locate(const std::optional<std::string>& override,
                                                       const Candidates& candidates);

    static std::optional<std::filesystem::path> loginShellLookup();
};

}  // namespace ParloxCore
