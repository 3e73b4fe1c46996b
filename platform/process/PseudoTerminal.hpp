#pragma once

namespace platform::process {

// Whether the process `pid` holds the master side of a pseudo-terminal, as
// a terminal emulator does for the shell it runs (so do programs with a
// terminal inside, such as editors). False when its files cannot be read
// (another user's process, or no such process).
bool holdsPseudoTerminalMaster(int pid);

}  // namespace platform::process
