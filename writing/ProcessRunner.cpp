#include "writing/ProcessRunner.hpp"

#include <fcntl.h>

#include <cerrno>
#include <limits>

#include "platform/foundation/FileManager.hpp"
#include "platform/foundation/Paths.hpp"
#include "platform/foundation/UniqueFd.hpp"
#include "platform/process/Subprocess.hpp"

namespace ParloxCore {

std::string ProcessRunner::childPath() {
    return platform::Paths::home().string() +
           "/.local/bin:/opt/homebrew/bin:/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin";
}

ProcessRunner::Status ProcessRunner::run(const std::filesystem::path& executable,
                                         const std::vector<std::string>& arguments,
                                         const std::string& stdinData,
                                         const std::filesystem::path& outputFile,
                                         const std::filesystem::path& workDir, double timeout,
                                         std::stop_token stop) {
    const platform::UniqueFd fd(::open(outputFile.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd) throw platform::FileError("open", outputFile, errno);

    namespace process = platform::process;
    process::Options options;
    options.executable = executable;
    options.arguments = arguments;
    options.environment = process::environmentWith({{"PATH", childPath()}, {"NO_COLOR", "1"}});
    options.workingDirectory = workDir;
    options.input = stdinData;
    options.output = process::OutputMode::file;
    options.outputFd = fd.get();
    options.outputLimit = outputLimit;
    // A time-out that is not a positive number expires at once: it must never
    // read as "no limit" below.
    options.timeout = timeout > 0 ? timeout : std::numeric_limits<double>::min();
    options.killGrace = killGrace;

    const process::Result result = process::run(options, stop);
    return Status{result.exitCode, result.timedOut};
}

}  // namespace ParloxCore
