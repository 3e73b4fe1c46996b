#include "platform/process/Terminal.hpp"

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/foundation/FileManager.hpp"
#include "platform/process/Subprocess.hpp"

namespace platform::process {
namespace {

std::optional<std::filesystem::path> inPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        if (!dir.empty()) {
            std::filesystem::path candidate = std::filesystem::path(dir) / name;
            if (FileManager::isRegularFile(candidate) && FileManager::isExecutableFile(candidate)) return candidate;
        }
        start = end + 1;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::filesystem::path> terminalEmulator() {
    for (const char* name : {"x-terminal-emulator", "xterm"}) {
        if (auto found = inPath(name)) return found;
    }
    return std::nullopt;
}

void openInTerminal(const std::filesystem::path& script) {
    auto terminal = terminalEmulator();
    if (!terminal) throw ProcessError(ProcessError::Kind::launch, "x-terminal-emulator", ENOENT);
    Options options;
    options.executable = *terminal;
    options.arguments = {"-e", script.string()};
    startDetached(std::move(options));
}

}  // namespace platform::process
