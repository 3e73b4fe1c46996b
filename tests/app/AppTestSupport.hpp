#pragma once

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/process/Subprocess.hpp"
#include "tests/support/TemporaryFolder.hpp"
#include "tests/writing/TestSupport.hpp"

namespace app_test {

using namespace writing_test;

struct CliRun {
    int status = -1;
    std::string output;
    std::vector<std::string> lines;
    double seconds = 0;
};

// The application log's place is fixed on first use for the whole process:
// give it a private state folder once, before that happens. The exit handler
// owns the folder and removes it (a static object would be destroyed before
// a handler registered while it was being built).
inline const fs::path& logSandbox() {
    static const parlox::testing::TemporaryFolder* root = [] {
        auto* folder = new parlox::testing::TemporaryFolder("parlox-log-test-");
        ::setenv("XDG_STATE_HOME", folder->path().c_str(), 1);
        std::atexit([] { delete root; });
        return folder;
    }();
    return root->path();
}

inline fs::path parloxBinary() { return fs::path(PARLOX_BINARY_DIR) / "app" / "parlox"; }

// The settings the executable reads, as the user's defaults file.
inline void writeDefaults(const Sandbox& box, const nlohmann::json& values) {
    writeFile(box.root() / "config" / "Parlox" / "defaults.json", values.dump());
}

inline CliRun runParlox(const std::vector<std::string>& arguments, bool mergeStandardError = false) {
    platform::process::Options options;
    options.executable = parloxBinary();
    options.arguments = arguments;
    options.output = platform::process::OutputMode::capture;
    options.mergeStandardError = mergeStandardError;
    options.timeout = 60;
    auto start = std::chrono::steady_clock::now();
    auto result = platform::process::run(options);
    CliRun run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.status = result.signaled ? 128 + result.exitCode : result.exitCode;
    run.output = result.output;
    run.lines = lines(result.output);
    return run;
}

}  // namespace app_test
