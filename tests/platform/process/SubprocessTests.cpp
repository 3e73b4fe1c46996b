#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stop_token>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/foundation/UniqueFd.hpp"
#include "platform/process/Subprocess.hpp"
#include "tests/support/ProcessGone.hpp"
#include "tests/support/TemporaryFolder.hpp"

namespace fs = std::filesystem;
using parlox::testing::processGone;
using parlox::testing::TemporaryFolder;
using namespace platform::process;

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

Options shell(const std::string& script) {
    Options o;
    o.executable = "/bin/sh";
    o.arguments = {"-c", script};
    o.output = OutputMode::capture;
    return o;
}

bool waitGone(pid_t pid, double seconds) {
    auto start = Clock::now();
    while (since(start) < seconds) {
        if (processGone(pid)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return processGone(pid);
}

pid_t readPid(const fs::path& file) {
    std::ifstream in(file);
    pid_t pid = 0;
    in >> pid;
    return pid;
}

// Polls `done` every 20 ms for up to a minute; true once it holds.
bool waitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 3000; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

}  // namespace

TEST(Subprocess, CapturesBothStreamsInOrderAndTheExitCode) {
    auto r = run(shell("echo one; echo two >&2; echo three; exit 3"));
    EXPECT_EQ(r.output, "one\ntwo\nthree\n");
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_FALSE(r.signaled);
    EXPECT_FALSE(r.timedOut);
    EXPECT_FALSE(r.cancelled);
}

TEST(Subprocess, StandardErrorCanBeDiscarded) {
    auto o = shell("echo out; echo err >&2");
    o.mergeStandardError = false;
    EXPECT_EQ(run(o).output, "out\n");
}

TEST(Subprocess, PassesArgumentsEnvironmentAndWorkingDirectory) {
    TemporaryFolder dir;
    auto o = shell("printf '%s|%s|%s|' \"$0\" \"$1\" \"$PARLOX_TEST_VALUE\"; pwd");
    o.arguments.push_back("zero");
    o.arguments.push_back("it's \"quoted\"");
    o.arguments.push_back("");
    o.environment = environmentWith({{"PARLOX_TEST_VALUE", "v"}});
    o.workingDirectory = dir.path();
    auto r = run(o);
    EXPECT_EQ(r.output, "zero|it's \"quoted\"|v|" + fs::canonical(dir.path()).string() + "\n");
}

TEST(Subprocess, EmptyArgumentsSurvive) {
    auto o = shell("echo $#");
    o.arguments.insert(o.arguments.end(), {"x", "", ""});
    EXPECT_EQ(run(o).output, "2\n");
}

TEST(Subprocess, FeedsLargeInputAndReadsItBack) {
    auto o = shell("cat");
    o.input.assign(3u << 20, 'a');
    o.input += "end";
    auto r = run(o);
    EXPECT_EQ(r.output.size(), o.input.size());
    EXPECT_EQ(r.output, o.input);
}

TEST(Subprocess, ChildThatNeverReadsItsInputDoesNotHurtUs) {
    auto o = shell("echo done");
    o.input.assign(4u << 20, 'x');
    auto r = run(o);
    EXPECT_EQ(r.output, "done\n");
    EXPECT_EQ(r.exitCode, 0);
}

TEST(Subprocess, EmptyInputIsAClosedInput) {
    auto r = run(shell("cat; echo after"));
    EXPECT_EQ(r.output, "after\n");
}

TEST(Subprocess, TimeOutTerminatesWithSigterm) {
    auto o = shell("sleep 60");
    o.timeout = 0.3;
    auto start = Clock::now();
    auto r = run(o);
    EXPECT_TRUE(r.timedOut);
    EXPECT_TRUE(r.signaled);
    EXPECT_EQ(r.exitCode, SIGTERM);
    EXPECT_LT(since(start), 20.0);
}

// Runs a script that starts `sleep 120` in the background before `rest`,
// checks the run ends well before the helper or a minute-long time-out would
// end it, and that the helper went with it. `onSpawned` gets the child's pid.
Result runLeavingAHelper(const std::string& prefix, const std::string& rest, double timeout,
                         const std::string& helperOutput = "", std::stop_token stop = {}, double drainGrace = 0.3,
                         const std::function<void(int)>& onSpawned = {}) {
    TemporaryFolder dir;
    auto pidFile = dir.path() / "pid";
    auto o = shell(prefix + "sleep 120 " + helperOutput + " & echo $! > '" + pidFile.string() + "'; " + rest);
    o.timeout = timeout;
    o.killGrace = 0.3;
    o.drainGrace = drainGrace;
    // The time-out starts once onSpawned returns: a slow start cannot meet it
    // before the prefix ran and the helper exists.
    o.onSpawned = [&](int pid) {
        waitFor([&] { return readPid(pidFile) > 0; });
        if (onSpawned) onSpawned(pid);
    };
    auto start = Clock::now();
    auto r = run(o, stop);
    EXPECT_LT(since(start), 20.0);
    pid_t helper = readPid(pidFile);
    EXPECT_GT(helper, 0);
    if (helper > 0) {
        EXPECT_TRUE(waitGone(helper, 30.0)) << "a helper of the child survived";
    }
    return r;
}

TEST(Subprocess, ChildThatIgnoresSigtermIsKilledAfterTheGrace) {
    auto r = runLeavingAHelper("trap '' TERM; ", "while :; do sleep 0.05; done", 0.3);
    EXPECT_TRUE(r.timedOut);
    EXPECT_TRUE(r.signaled);
    EXPECT_EQ(r.exitCode, SIGKILL);
}

TEST(Subprocess, OutputHelpersWriteAfterTheChildEndedIsRead) {
    auto start = Clock::now();
    auto r = run([] {
        auto o = shell("(sleep 0.4; echo late) & echo early");
        o.timeout = 60;
        o.drainGrace = 10.0;  // the helper's pause, even held up, is shorter than the quiet spell allowed
        return o;
    }());
    EXPECT_EQ(r.output, "early\nlate\n");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_FALSE(r.timedOut);
    // It ended when the output closed, not at the time-out.
    EXPECT_LT(since(start), 20.0);
}

TEST(Subprocess, QuietHelperHoldingTheOutputDoesNotHoldTheRunUntilTheTimeOut) {
    auto start = Clock::now();
    auto r = runLeavingAHelper("", "echo bye", 60);
    EXPECT_LT(since(start), 20.0);
    EXPECT_EQ(r.output, "bye\n");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_FALSE(r.timedOut);
}

TEST(Subprocess, AfterTheChildExitsItsOutputIsReadWhileHelpersKeepWriting) {
    // tests/fixtures/process/tool-with-helper answers, exits, and leaves a
    // helper holding its output.
    struct Case {
        const char* helper;
        double timeout;
        double minSeconds, maxSeconds;  // how long the run may take
        int parts;                      // "part N" lines the helper writes
        const char* more;               // what an endless helper writes, if any
    };
    const Case cases[] = {
        // A quiet helper does not hold the answer until the time-out.
        {"quiet", 60, 0, 20, 0, ""},
        // One still writing is read to its end, longer than any one quiet spell.
        {"writing", 60, 0, 30, 30, ""},
        // One that never stops is read until the time-out, no longer.
        {"endless", 2, 2, 20, 0, "more\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.helper);
        TemporaryFolder dir;
        Options o;
        o.executable = fs::path(PARLOX_SOURCE_DIR) / "tests/fixtures/process/tool-with-helper";
        o.arguments = {c.helper, (dir.path() / "pid").string()};
        o.output = OutputMode::capture;
        o.timeout = c.timeout;
        o.killGrace = 0.3;
        // Fifteen times the writing helper's pause, and half its writing time.
        o.drainGrace = 3.0;
        // The time-out starts once onSpawned returns, here after the tool is gone.
        o.onSpawned = [](int pid) { waitFor([pid] { return processGone(pid); }); };
        const auto start = Clock::now();
        const auto r = run(o);
        const double seconds = since(start);
        EXPECT_GE(seconds, c.minSeconds);
        EXPECT_LT(seconds, c.maxSeconds);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_FALSE(r.timedOut);
        EXPECT_NE(r.output.find("answer\n"), std::string::npos) << r.output;
        for (int i = 1; i <= c.parts; ++i) {
            EXPECT_NE(r.output.find("part " + std::to_string(i) + "\n"), std::string::npos) << i << ": " << r.output;
        }
        if (*c.more) {
            EXPECT_NE(r.output.find(c.more), std::string::npos);
        }
        const pid_t helper = readPid(dir.path() / "pid");
        ASSERT_GT(helper, 0);
        EXPECT_TRUE(waitGone(helper, 30.0)) << "the helper survived the run";
    }
}

TEST(Subprocess, HelperNotHoldingTheOutputIsEndedOnceTheOutputCloses) {
    auto r = runLeavingAHelper("", "echo bye", 60, ">/dev/null 2>&1");
    EXPECT_EQ(r.output, "bye\n");
    EXPECT_EQ(r.exitCode, 0);
}

TEST(Subprocess, StopRequestEndsTheWaitForHelpers) {
    std::stop_source source;
    std::atomic<pid_t> child{0};
    std::thread canceller([&] {
        // Only once the child has exited is the run waiting for its helper alone.
        waitFor([&] { return child != 0 && processGone(child); });
        source.request_stop();
    });
    // A quiet spell as long as the time-out: only the stop ends the wait.
    auto r = runLeavingAHelper("", "echo bye", 60, "", source.get_token(), 60, [&](int pid) { child = pid; });
    canceller.join();
    EXPECT_EQ(r.output, "bye\n");
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.exitCode, 0);
}

TEST(Subprocess, HelperThatLeftTheGroupCannotHoldTheRunOpen) {
    // setsid takes the helper out of reach of the group signal; the run still
    // ends shortly after the child, the output pipe is simply abandoned.
    TemporaryFolder dir;
    auto pidFile = dir.path() / "pid";
    // setsid does not fork here (a background job is no group leader): $! is the helper.
    auto o = shell("setsid sleep 60 & echo $! > '" + pidFile.string() + "'; sleep 0.2; echo bye");
    o.timeout = 60;
    auto start = Clock::now();
    auto r = run(o);
    EXPECT_LT(since(start), 20.0);
    EXPECT_EQ(r.output, "bye\n");
    if (pid_t helper = readPid(pidFile); helper > 0) ::kill(helper, SIGKILL);
}

TEST(Subprocess, OutputAboveTheLimitIsCountedNotKept) {
    auto o = shell("head -c 20000000 /dev/zero");
    o.outputLimit = 1u << 20;
    auto r = run(o);
    EXPECT_EQ(r.output.size(), 1u << 20);
    EXPECT_TRUE(r.outputTruncated);
    EXPECT_EQ(r.outputBytes, 20000000u);
    EXPECT_EQ(r.exitCode, 0);
}

TEST(Subprocess, EndlessOutputStillEndsAtTheTimeOut) {
    // Twice the limit is in the pipe before the time-out starts counting, so
    // more than the limit was written however late the child ran.
    TemporaryFolder dir;
    auto ready = dir.path() / "ready";
    auto o = shell("head -c 8192 /dev/zero; touch '" + ready.string() + "'; exec yes flood");
    o.outputLimit = 4096;
    o.timeout = 0.5;
    o.onSpawned = [&](int) { waitFor([&] { return fs::exists(ready); }); };
    auto start = Clock::now();
    auto r = run(o);
    EXPECT_LT(since(start), 20.0);
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(r.output.size(), 4096u);
    EXPECT_GT(r.outputBytes, r.output.size());
}

TEST(Subprocess, WritesToAFileAtItsCurrentOffset) {
    TemporaryFolder dir;
    auto file = dir.path() / "out.log";
    { std::ofstream(file) << "0123456789"; }
    const platform::UniqueFd fd(::open(file.c_str(), O_WRONLY | O_CLOEXEC));
    ASSERT_TRUE(fd);
    auto o = shell("printf ab; printf cd >&2");
    o.output = OutputMode::file;
    o.outputFd = fd.get();
    auto r = run(o);
    EXPECT_EQ(r.exitCode, 0);
    std::ifstream in(file);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "abcd456789");
}

TEST(Subprocess, StopRequestTerminatesTheChild) {
    std::stop_source source;
    auto o = shell("sleep 60");
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        source.request_stop();
    });
    auto start = Clock::now();
    auto r = run(o, source.get_token());
    canceller.join();
    EXPECT_LT(since(start), 20.0);
    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, SIGTERM);
}

TEST(Subprocess, StopRequestedBeforeLaunchEndsTheChildRightAway) {
    TemporaryFolder dir;
    auto marker = dir.path() / "ran-to-end";
    std::stop_source source;
    source.request_stop();
    auto o = shell("sleep 60; touch '" + marker.string() + "'");
    auto start = Clock::now();
    auto r = run(o, source.get_token());
    EXPECT_LT(since(start), 20.0);
    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(fs::exists(marker));
}

TEST(Subprocess, LaunchFailuresThrow) {
    TemporaryFolder dir;
    auto plain = dir.path() / "plain";
    { std::ofstream(plain) << "#!/bin/sh\necho hi\n"; }
    fs::permissions(plain, fs::perms::owner_read | fs::perms::owner_write);
    for (const fs::path& exe : {dir.path() / "missing", plain, dir.path()}) {
        Options o;
        o.executable = exe;
        try {
            run(o);
            ADD_FAILURE() << "launched " << exe;
        } catch (const ProcessError& e) {
            EXPECT_EQ(e.kind(), ProcessError::Kind::launch);
            EXPECT_NE(e.localizedDescription().find(exe.string()), std::string::npos);
        }
    }
}

TEST(Subprocess, MissingWorkingDirectoryIsALaunchFailure) {
    TemporaryFolder dir;
    auto o = shell("true");
    o.workingDirectory = dir.path() / "nope";
    EXPECT_THROW(run(o), ProcessError);
}

TEST(Subprocess, ChildDoesNotInheritOurIgnoredSigpipe) {
    ignoreSigpipe();
    auto r = run(shell("grep SigIgn /proc/$$/status"));
    auto colon = r.output.find(':');
    ASSERT_NE(colon, std::string::npos) << r.output;
    unsigned long long mask = std::stoull(r.output.substr(colon + 1), nullptr, 16);
    EXPECT_EQ(mask & (1ull << (SIGPIPE - 1)), 0u);
}

TEST(Subprocess, DetachedChildRunsOnItsOwn) {
    TemporaryFolder dir;
    auto release = dir.path() / "release";
    auto done = dir.path() / "done";
    Options o;
    o.executable = "/bin/sh";
    // The child waits for the test (half a minute at most, so that a start
    // that waits for it ends and fails rather than hangs).
    o.arguments = {"-c", "i=0; while [ ! -e '" + release.string() + "' ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); "
                         "done; touch '" + done.string() + "'"};
    startDetached(o);
    EXPECT_FALSE(fs::exists(done)) << "waited for the child";
    { std::ofstream(release).put('\n'); }
    EXPECT_TRUE(waitFor([&] { return fs::exists(done); }));
    o.executable = dir.path() / "missing";
    EXPECT_THROW(startDetached(o), ProcessError);
}

TEST(Subprocess, DetachedLauncherMayLeaveItsWindowBehind) {
    // A launcher that starts the real program and exits must not take it along.
    TemporaryFolder dir;
    auto pidFile = dir.path() / "pid";
    Options o;
    o.executable = "/bin/sh";
    o.arguments = {"-c", "sleep 30 & echo $! > '" + pidFile.string() + ".part'; mv '" + pidFile.string() +
                             ".part' '" + pidFile.string() + "'"};
    startDetached(o);
    waitFor([&] { return fs::exists(pidFile); });
    pid_t helper = readPid(pidFile);
    ASSERT_GT(helper, 0);
    // Past the moment the reaper sees the launcher gone (drain grace and more).
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_FALSE(processGone(helper)) << "the launcher's program was ended with it";
    ::kill(helper, SIGKILL);
}
