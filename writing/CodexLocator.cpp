#include "writing/CodexLocator.hpp"

#include "platform/foundation/Paths.hpp"
#include "platform/foundation/Trim.hpp"
#include "platform/process/LoginShell.hpp"
#include "writing/RequestFolder.hpp"

namespace ParloxCore {

const std::filesystem::path& CodexLocator::chatGPTBundled() {
    static const std::filesystem::path path =
        "/Applications/ChatGPT.app/Contents/Resources/codex-cli/CodexCLI.app/Contents/MacOS/codex";
    return path;
}

CodexLocator::Candidates CodexLocator::defaultCandidates() {
    const std::string home = platform::Paths::home().string();
    return {chatGPTBundled(), &CodexLocator::loginShellLookup,
            {home + "/.local/bin/codex", "/opt/homebrew/bin/codex", "/usr/local/bin/codex"}};
}

std::optional<std::filesystem::path> CodexLocator::locate(const std::optional<std::string>& override) {
    return locate(override, defaultCandidates());
}

std::optional<std::filesystem::path> CodexLocator::locate(const std::optional<std::string>& override,
                                                          const Candidates& candidates) {
    if (override) {
        const std::string path = platform::trimmingWhitespaceAndNewlines(*override);
        if (!path.empty()) {
            // "~name/…" of an account that does not exist names no file.
            const auto expanded = platform::Paths::expandingTilde(path);
            if (expanded && ToolOutput::isExecutableFile(*expanded)) return std::filesystem::path(*expanded);
            return std::nullopt;
        }
    }
    if (!candidates.bundled.empty() && ToolOutput::isExecutableFile(candidates.bundled)) return candidates.bundled;
    if (candidates.loginShell) {
        if (auto found = candidates.loginShell()) return found;
    }
    for (const auto& path : candidates.fixedPaths) {
        if (ToolOutput::isExecutableFile(path)) return path;
    }
    return std::nullopt;
}

std::optional<std::filesystem::path> CodexLocator::loginShellLookup() {
    return platform::process::LoginShell::lookup("codex");
}

}  // namespace ParloxCore
