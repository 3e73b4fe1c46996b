#include "platform/process/Terminal.hpp"

#include <cerrno>

#include "platform/process/ExecutableSearch.hpp"
#include "platform/process/Subprocess.hpp"

namespace platform::process {

std::optional<std::filesystem::path> terminalEmulator() {
    for (const char* name : {"x-terminal-emulator", "xterm"}) {
        if (auto found = findExecutable(name)) return found;
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
