#pragma once

#include <filesystem>

namespace platform::process {

// What a process has to do with the master side of a pseudo-terminal, the
// side a terminal emulator holds for the shell it runs.
enum class PseudoTerminalUse {
    none,   // neither it nor a process it started holds one
    holds,  // it holds one: a terminal emulator, or a program with a terminal inside
    // A process it started holds one (a program whose terminal runs in a
    // helper), or its files cannot be read (another user's program, or a
    // process id that names no process here, as a sandboxed program's
    // window may give).
    inDoubt,
};

PseudoTerminalUse pseudoTerminalUse(int pid);
// The same, read from a process table laid out as /proc under `proc`.
PseudoTerminalUse pseudoTerminalUse(int pid, const std::filesystem::path& proc);

}  // namespace platform::process
