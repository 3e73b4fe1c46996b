#pragma once

#include <spawn.h>

namespace platform::process {

// Makes a program started with these actions and attributes inherit nothing
// of ours beyond standard input, output and error: no other descriptor, no
// blocked signal, and the common signals we handle or ignore back at their
// default. `flags` adds the caller's own spawn flags.
void spawnClean(posix_spawn_file_actions_t& actions, posix_spawnattr_t& attributes, short flags = 0);

}  // namespace platform::process
