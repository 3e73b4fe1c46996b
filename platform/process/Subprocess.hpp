#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/process/ProcessError.hpp"

namespace platform::process {

// Where the child's standard output (and, when merged, its standard error) goes.
enum class OutputMode {
    discard,  // /dev/null
    capture,  // kept in Result::output, up to Options::outputLimit bytes
    file,     // written to Options::outputFd at its current offset, up to outputLimit bytes
};

struct Options {
    std::filesystem::path executable;
    std::vector<std::string> arguments;  // without the program itself
    // The whole environment as "NAME=value" entries; absent means this process's own.
    std::optional<std::vector<std::string>> environment;
    std::filesystem::path workingDirectory;  // empty: this process's current folder
    std::string input;                       // written to the child's standard input, then closed

    OutputMode output = OutputMode::discard;
    bool mergeStandardError = true;  // false sends standard error to /dev/null
    int outputFd = -1;               // for OutputMode::file; not closed by run
    std::size_t outputLimit = 8u << 20;

    double timeout = 0;       // seconds; 0 or less (or NaN) means none
    double killGrace = 2.0;   // seconds between SIGTERM and SIGKILL
    // After the child exits on its own, its output is read while helpers keep
    // writing it: until it closes, until nothing arrived for this many
    // seconds, or until the time-out. Without a time-out, after a time-out or
    // stop, once no member of the group is left, or when helpersMayWrite is
    // off, reading goes on for this many seconds at most.
    double drainGrace = 0.3;
    // Off for a child whose answer is complete when it exits: what it left
    // running is then ended without waiting for its output.
    bool helpersMayWrite = true;
    // Whether members of the child's group still running when it exits are
    // ended too. Off for detached programs: a launcher that exits leaves the
    // window it opened behind on purpose.
    bool endGroupWithChild = true;

    // Called on the running thread once the child exists, with its process id.
    std::function<void(int pid)> onSpawned;
};

struct Result {
    int exitCode = 0;     // exit status, or the signal number when a signal ended it
    bool signaled = false;
    bool timedOut = false;
    bool cancelled = false;
    std::string output;   // OutputMode::capture only
    std::size_t outputBytes = 0;  // everything the child wrote, kept or not
    bool outputTruncated = false;
};

// Runs a child in its own process group and waits for it. On time-out or stop
// request the whole group gets SIGTERM, then SIGKILL after killGrace; members
// left behind by a child that exited get the same once its output is done.
// Throws ProcessError when the child cannot be started.
Result run(const Options& options, std::stop_token stop = {});

// Starts a child that lives on its own (a terminal window, a browser): no
// input, output discarded, nobody waits for it but a background reaper, and
// what it leaves running when it exits is left alone.
// Throws ProcessError when it cannot be started.
void startDetached(Options options);

// A copy of this process's environment with the given entries replaced or added.
std::vector<std::string> environmentWith(
    const std::vector<std::pair<std::string, std::string>>& overrides);

// SIGPIPE is ignored process-wide so a child that stops reading cannot kill us.
void ignoreSigpipe();

}  // namespace platform::process
