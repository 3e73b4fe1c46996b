#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/process/Subprocess.hpp"
#include "tests/support/TemporaryFolder.hpp"

namespace {

namespace fs = std::filesystem;
using parlox::testing::TemporaryFolder;

const std::vector<std::string> tools = {"parlox-convert-whisper", "parlox-make-random-whisper"};

struct ToolRun {
    int status = -1;
    std::string output;  // standard output alone
    std::string all;     // standard output and error together
};

// Runs a tool twice in `folder`, once for its standard output and once for
// everything it prints.
ToolRun runTool(const std::string& tool, const std::vector<std::string>& arguments, const fs::path& folder) {
    platform::process::Options options;
    options.executable = fs::path(PARLOX_BINARY_DIR) / "tools" / tool;
    options.arguments = arguments;
    options.workingDirectory = folder;
    options.output = platform::process::OutputMode::capture;
    options.timeout = 60;
    options.mergeStandardError = false;
    ToolRun run;
    const auto separate = platform::process::run(options);
    run.status = separate.exitCode;
    run.output = separate.output;
    options.mergeStandardError = true;
    run.all = platform::process::run(options).output;
    return run;
}

TEST(Tools, HelpPrintsTheUsageAndDoesNothingElse) {
    for (const auto& tool : tools) {
        for (const std::vector<std::string>& arguments :
             {std::vector<std::string>{"--help"}, {"-h"}, {"out", "--help"}, {"--mels", "80", "-h", "x"}}) {
            TemporaryFolder folder;
            const auto run = runTool(tool, arguments, folder.path());
            EXPECT_EQ(run.status, 0) << tool << " " << arguments.front();
            EXPECT_EQ(run.output.rfind("usage: " + tool + " ", 0), 0u) << run.output;
            EXPECT_EQ(run.all, run.output) << tool;  // nothing on standard error
            EXPECT_TRUE(fs::is_empty(folder.path())) << tool << " " << arguments.front() << " wrote something";
        }
    }
}

TEST(Tools, UnknownOptionsAndWrongArgumentsAreRefused) {
    struct Case {
        std::string tool;
        std::vector<std::string> arguments;
        std::string problem;
    };
    const Case cases[] = {
        {"parlox-make-random-whisper", {"--bogus"}, "unknown option --bogus"},
        {"parlox-make-random-whisper", {"out", "--bogus"}, "unknown option --bogus"},
        {"parlox-make-random-whisper", {"out", "-x"}, "unknown option -x"},
        {"parlox-make-random-whisper", {"out", "--mels"}, "--mels needs a value"},
        {"parlox-make-random-whisper", {"out", "--mels", "0"}, "bad value for --mels: 0"},
        {"parlox-make-random-whisper", {"out", "--alignment-heads", "1-2"}, "bad value for --alignment-heads: 1-2"},
        {"parlox-make-random-whisper", {"out", "--heads", "5"}, "d_model must be a multiple of the head count"},
        {"parlox-make-random-whisper", {}, "expected 1 argument, got 0"},
        {"parlox-make-random-whisper", {"out", "more"}, "expected 1 argument, got 2"},
        {"parlox-convert-whisper", {"--bogus", "a", "b"}, "unknown option --bogus"},
        {"parlox-convert-whisper", {"a", "--bogus"}, "unknown option --bogus"},
        {"parlox-convert-whisper", {"a"}, "expected 2 arguments, got 1"},
    };
    for (const auto& c : cases) {
        TemporaryFolder folder;
        const auto run = runTool(c.tool, c.arguments, folder.path());
        EXPECT_EQ(run.status, 2) << c.problem;
        EXPECT_EQ(run.output, "") << c.problem;
        EXPECT_EQ(run.all.rfind(c.tool + ": " + c.problem + "\nusage: " + c.tool + " ", 0), 0u) << run.all;
        EXPECT_TRUE(fs::is_empty(folder.path())) << c.problem << ": something was written";
    }
}

TEST(Tools, AFolderMayStartWithADashAfterTheEndOfOptions) {
    TemporaryFolder folder;
    const auto run = runTool("parlox-make-random-whisper",
                             {"--vocab", "64", "--d-model", "8", "--heads", "2", "--", "-model"}, folder.path());
    EXPECT_EQ(run.status, 0) << run.all;
    EXPECT_EQ(run.output, "-model\n");
    EXPECT_TRUE(fs::exists(folder / "-model" / "config.json"));
    EXPECT_TRUE(fs::exists(folder / "-model" / "model.safetensors"));
}

TEST(Tools, AFailureIsReportedWithExitStatusOne) {
    TemporaryFolder folder;
    const auto run = runTool("parlox-convert-whisper", {"missing", "out"}, folder.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.all.rfind("parlox-convert-whisper: ", 0), 0u) << run.all;
}

}  // namespace
