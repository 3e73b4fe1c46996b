#include <signal.h>

#include <chrono>
#include <cmath>
#include <stop_token>
#include <string>

#include <gtest/gtest.h>

#include "platform/foundation/FileManager.hpp"
#include "platform/process/ProcessError.hpp"
#include "TestSupport.hpp"
#include "writing/ProcessRunner.hpp"

using namespace ParloxCore;
using namespace writing_test;

TEST(ProcessRunner, ChildSeesTheFixedPathAndNoColor) {
    Sandbox box;
    box.env().set("PATH", "/somewhere/else");
    box.env().set("NO_COLOR", "0");
    writeFile(box.root() / "out.log", "");
    auto status = ProcessRunner::run("/bin/sh", {"-c", "echo \"$PATH|$NO_COLOR|$HOME\"; echo err >&2; pwd"}, "",
                                     box.root() / "out.log", box.root(), 10);
    EXPECT_EQ(status, (ProcessRunner::Status{0, false}));
    EXPECT_EQ(readFile(box.root() / "out.log"),
              box.home().string() + "/.local/bin:/opt/homebrew/bin:/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin|1|" +
                  box.home().string() + "\nerr\n" + fs::canonical(box.root()).string() + "\n");
}

TEST(ProcessRunner, InputIsFedAndTheFileIsWrittenFromTheStart) {
    Sandbox box;
    writeFile(box.root() / "out.log", "XXXXXXXXXXXX");
    auto status = ProcessRunner::run("/bin/cat", {}, "abc", box.root() / "out.log", box.root(), 10);
    EXPECT_EQ(status.exitCode, 0);
    EXPECT_EQ(readFile(box.root() / "out.log"), "abcXXXXXXXXX");
}

TEST(ProcessRunner, TimeOutReportsTheSignal) {
    Sandbox box;
    writeFile(box.root() / "out.log", "");
    auto status = ProcessRunner::run("/bin/sleep", {"20"}, "", box.root() / "out.log", box.root(), 0.2);
    EXPECT_EQ(status, (ProcessRunner::Status{SIGTERM, true}));
}

TEST(ProcessRunner, ATimeOutThatIsNotAPositiveNumberExpiresAtOnce) {
    Sandbox box;
    writeFile(box.root() / "out.log", "");
    for (double timeout : {0.0, -1.0, std::nan("")}) {
        auto status = ProcessRunner::run("/bin/sleep", {"5"}, "", box.root() / "out.log", box.root(), timeout);
        EXPECT_EQ(status, (ProcessRunner::Status{SIGTERM, true})) << timeout;
    }
}

TEST(ProcessRunner, MissingOutputFileThrowsBeforeLaunching) {
    Sandbox box;
    auto marker = box.root() / "ran";
    EXPECT_THROW(ProcessRunner::run("/bin/touch", {marker.string()}, "", box.root() / "nope/out.log", box.root(), 5),
                 platform::FileError);
    EXPECT_FALSE(fs::exists(marker));
    writeFile(box.root() / "out.log", "");
    EXPECT_THROW(ProcessRunner::run(box.root() / "missing", {}, "", box.root() / "out.log", box.root(), 5),
                 platform::process::ProcessError);
}

TEST(ProcessRunner, StopRequestedBeforeLaunchEndsTheChildRightAfter) {
    Sandbox box;
    writeFile(box.root() / "out.log", "");
    std::stop_source source;
    source.request_stop();
    const auto start = std::chrono::steady_clock::now();
    auto status = ProcessRunner::run("/bin/sleep", {"20"}, "", box.root() / "out.log", box.root(), 30,
                                     source.get_token());
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 10.0);
    // A stop is not a time-out; the child's status tells how it ended.
    EXPECT_EQ(status, (ProcessRunner::Status{SIGTERM, false}));
}

TEST(ProcessRunner, TheToolWritesIntoAPipeWhoseOutputIsCappedInTheFile) {
    Sandbox box;
    writeFile(box.root() / "out.log", "");
    // The tool never holds the file itself, and a flood of output neither
    // blocks it nor fills the disk: the file keeps the first outputLimit bytes.
    const std::string script = "if [ -p /dev/stdout ] && [ -p /dev/stderr ]; then printf pipes; fi; "
                               "head -c 20000000 /dev/zero | tr '\\0' x; echo done >&2";
    auto status = ProcessRunner::run("/bin/sh", {"-c", script}, "", box.root() / "out.log", box.root(), 30);
    EXPECT_EQ(status, (ProcessRunner::Status{0, false}));
    const std::string out = readFile(box.root() / "out.log");
    ASSERT_EQ(out.size(), ProcessRunner::outputLimit);
    EXPECT_EQ(out.substr(0, 6), "pipesx");
    EXPECT_EQ(out.find_first_not_of('x', 5), std::string::npos);
}
