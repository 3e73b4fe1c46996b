#pragma once

#include <filesystem>

#include "platform/process/Subprocess.hpp"
#include "tests/support/TemporaryFolder.hpp"

namespace parlox::testing {

// An executable script at `relative` under `folder` that prints the login
// marker it was started with and its argument count:
// "marker=<value> arguments=<count>".
inline std::filesystem::path writeLaunchReporter(const TemporaryFolder& folder, const std::filesystem::path& relative) {
    const auto program = folder.writeFile(
        relative, "#!/bin/sh\nprintf 'marker=%s arguments=%s\\n' \"$PARLOX_LAUNCHED_AT_LOGIN\" \"$#\"\n");
    std::filesystem::permissions(program, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
    return program;
}

// Starts the desktop entry at `entry` as a desktop's launcher does, and
// gives what its program printed.
inline platform::process::Result launchDesktopEntry(const std::filesystem::path& entry) {
    platform::process::Options launch;
    launch.executable = "/usr/bin/gio";
    launch.arguments = {"launch", entry.string()};
    launch.output = platform::process::OutputMode::capture;
    launch.timeout = 20;  // the launcher returns at once; its output lasts until the program ends
    // The program may not have printed yet when the launcher exits: read
    // until it ends and closes the output, not until a quiet spell.
    launch.drainGrace = 20;
    return platform::process::run(launch);
}

}  // namespace parlox::testing
