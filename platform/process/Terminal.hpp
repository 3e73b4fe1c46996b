#pragma once

#include <filesystem>
#include <optional>

namespace platform::process {

// The user's terminal emulator: the system's x-terminal-emulator choice, else xterm.
std::optional<std::filesystem::path> terminalEmulator();

// Runs `script` in a new terminal window and returns without waiting for it.
// Throws ProcessError when no terminal can be started.
void openInTerminal(const std::filesystem::path& script);

}  // namespace platform::process
