#pragma once

#include <cstdint>
#include <filesystem>
#include <stop_token>
#include <string>
#include <vector>

namespace ParloxCore {

// Runs an outside tool for the writing back-ends and the account probes:
// standard input from memory, standard output and error together into a
// file the caller created, a time-out, and a stop request that ends it.
struct ProcessRunner {
    struct Status {
        int32_t exitCode = 0;   // exit status, or the signal number that ended the child
        bool timedOut = false;  // the time-out fired while the child was still running

        friend bool operator==(const Status&, const Status&) = default;
    };

    // Seconds a child gets between SIGTERM and SIGKILL.
    static constexpr double killGrace = 2.0;
    // Bytes of output kept in the file; the rest is read and dropped.
    static constexpr std::size_t outputLimit = 16u << 20;

    // `outputFile` must exist; it is written from offset 0 without truncation.
    // A `timeout` of zero, below zero or NaN has expired when the child starts.
    // Throws platform::FileError when it cannot be opened (nothing is launched)
    // and platform::process::ProcessError when the child cannot be launched.
    static Status run(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
                      const std::string& stdinData, const std::filesystem::path& outputFile,
                      const std::filesystem::path& workDir, double timeout, std::stop_token stop = {});

    // The PATH a child sees: the home folder's .local/bin, then the usual folders.
    static std::string childPath();
};

}  // namespace ParloxCore
