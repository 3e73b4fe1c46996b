#pragma once

#include <sys/types.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/process/Subprocess.hpp"
#include "tests/writing/TestSupport.hpp"

namespace app_test {

using namespace writing_test;

struct CliRun {
    int status = -1;
    std::string output;
    std::vector<std::string> lines;
};

inline fs::path parloxBinary() { return fs::path(PARLOX_BINARY_DIR) / "app" / "parlox"; }

// The settings the executable reads, as the user's defaults file.
inline void writeDefaults(const Sandbox& box, const nlohmann::json& values) {
    writeFile(box.root() / "config" / "Parlox" / "defaults.json", values.dump());
}

// The executable with these arguments, its standard output captured.
inline platform::process::Options parloxRun(const std::vector<std::string>& arguments,
                                            bool mergeStandardError = false) {
    platform::process::Options options;
    options.executable = parloxBinary();
    options.arguments = arguments;
    options.output = platform::process::OutputMode::capture;
    options.mergeStandardError = mergeStandardError;
    // Only a guard against a hang, below the test's own limit: the longest
    // runs take over a minute under the sanitizers on a busy machine.
    options.timeout = 150;
    return options;
}

inline CliRun runParlox(const std::vector<std::string>& arguments, bool mergeStandardError = false) {
    const auto options = parloxRun(arguments, mergeStandardError);
    auto result = platform::process::run(options);
    CliRun run;
    run.status = result.signaled ? 128 + result.exitCode : result.exitCode;
    run.output = result.output;
    run.lines = lines(result.output);
    return run;
}

// A run of the executable that the test watches while it works.
struct StartedParlox {
    pid_t pid = -1;
    std::future<platform::process::Result> result;
};

inline StartedParlox startParlox(const std::vector<std::string>& arguments) {
    auto spawned = std::make_shared<std::promise<pid_t>>();
    auto pid = spawned->get_future();
    auto options = parloxRun(arguments);
    options.onSpawned = [spawned](int child) { spawned->set_value(child); };
    StartedParlox started;
    started.result = std::async(std::launch::async, [options] { return platform::process::run(options); });
    started.pid = pid.get();
    return started;
}

// Polls `done` every 20 ms for up to `seconds`.
template <class Done>
bool waitUntil(Done done, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace app_test
