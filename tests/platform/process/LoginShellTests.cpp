#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include <gtest/gtest.h>

#include "platform/concurrency/MainQueue.hpp"
#include "platform/process/LoginShell.hpp"
#include "platform/process/Subprocess.hpp"
#include "tests/support/ProcessGone.hpp"
#include "tests/support/TemporaryFolder.hpp"

namespace fs = std::filesystem;
using parlox::testing::TemporaryFolder;
using namespace platform::process;

namespace {

void writeExecutable(const fs::path& path, const std::string& text) {
    std::ofstream(path) << text;
    fs::permissions(path, fs::perms::owner_all);
}

// Sets an environment variable for the test's life.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : name_(name) {
        if (const char* old = ::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable() {
        if (old_) {
            ::setenv(name_.c_str(), old_->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }

private:
    std::string name_;
    std::optional<std::string> old_;
};

// Points $SHELL at a stand-in.
struct ScopedShell : ScopedVariable {
    explicit ScopedShell(const fs::path& shell) : ScopedVariable("SHELL", shell.string()) {}
};

// A time-out a loaded machine never meets, for look-ups that should answer.
constexpr double patient = 60;

// Look-ups refuse the main thread (the process's first thread here).
template <class F>
auto offMain(F fn) {
    decltype(fn()) result;
    std::thread([&] { result = fn(); }).join();
    return result;
}

}  // namespace

TEST(ShellQuote, SurvivesTheShellUnchanged) {
    for (std::string text : {"plain", "it's", "''", "a b\tc", "$HOME `id` \"x\" \\n", "", "ñandú/→"}) {
        Options o;
        o.executable = "/bin/sh";
        o.arguments = {"-c", "printf %s " + shellQuote(text)};
        o.output = OutputMode::capture;
        EXPECT_EQ(run(o).output, text);
    }
    EXPECT_EQ(shellQuote("it's"), "'it'\\''s'");
}

TEST(LoginShell, FindsAProgramWhoseNameHoldsAQuote) {
    TemporaryFolder dir;
    writeExecutable(dir.path() / "sh", "#!/bin/sh\n[ \"$1\" = -lc ] || exit 9\nPATH='" +
                                            dir.path().string() + "/bin' exec /bin/sh -c \"$2\"\n");
    fs::create_directories(dir.path() / "bin");
    writeExecutable(dir.path() / "bin" / "it's tool", "#!/bin/sh\n");
    ScopedShell shell(dir.path() / "sh");
    auto found = offMain([] { return LoginShell::lookup("it's tool", patient); });
    ASSERT_TRUE(found);
    EXPECT_EQ(*found, dir.path() / "bin" / "it's tool");
    EXPECT_FALSE(offMain([] { return LoginShell::lookup("it's tool; touch x", patient); }));
}

TEST(LoginShell, TakesTheLastLineAndRefusesAliasesAndFailures) {
    TemporaryFolder dir;
    writeExecutable(dir.path() / "tool", "#!/bin/sh\n");
    struct Case {
        std::string body;
        std::optional<fs::path> expected;
    };
    const Case cases[] = {
        {"echo 'Welcome!'; echo; printf '  " + (dir.path() / "tool").string() + "\\t\\n\\n'", dir.path() / "tool"},
        {"echo \"alias codex='npx codex'\"", std::nullopt},
        {"echo codex", std::nullopt},
        {"echo " + (dir.path() / "missing").string(), std::nullopt},
        {"echo " + (dir.path() / "tool").string() + "; exit 1", std::nullopt},
        {"printf '\\377\\376'", std::nullopt},
        {"true", std::nullopt},
    };
    for (const auto& c : cases) {
        writeExecutable(dir.path() / "sh", "#!/bin/sh\n" + c.body + "\n");
        ScopedShell shell(dir.path() / "sh");
        EXPECT_EQ(offMain([] { return LoginShell::lookup("codex", patient); }), c.expected) << c.body;
    }
}

TEST(LoginShell, AProfileThatHangsIsCutOffByTheTimeOut) {
    TemporaryFolder dir;
    writeExecutable(dir.path() / "sh", "#!/bin/sh\ntrap '' TERM\nsleep 60\n");
    ScopedShell shell(dir.path() / "sh");
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(offMain([] { return LoginShell::lookup("codex", 0.3); }));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 20.0);
}

TEST(LoginShell, JobsTheProfileStartsAreNotWaitedFor) {
    TemporaryFolder dir;
    writeExecutable(dir.path() / "tool", "#!/bin/sh\n");
    const auto pidFile = dir.path() / "job";
    writeExecutable(dir.path() / "sh", "#!/bin/sh\nsleep 60 &\necho $! > '" + pidFile.string() + "'\necho '" +
                                           (dir.path() / "tool").string() + "'\n");
    ScopedShell shell(dir.path() / "sh");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(offMain([] { return LoginShell::lookup("codex", patient); }),
              std::optional<fs::path>(dir.path() / "tool"));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 20.0);
    pid_t job = 0;
    std::ifstream(pidFile) >> job;
    ASSERT_GT(job, 0);
    for (int i = 0; i < 1500 && !parlox::testing::processGone(job); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(parlox::testing::processGone(job)) << "the profile's job outlived the look-up";
}

TEST(LoginShell, NeverRunsOnTheMainThread) {
    TemporaryFolder dir;
    auto marker = dir.path() / "ran";
    writeExecutable(dir.path() / "sh", "#!/bin/sh\ntouch '" + marker.string() + "'\necho /bin/sh\n");
    ScopedShell shell(dir.path() / "sh");
    EXPECT_TRUE(platform::MainQueue::isMainThread());
    auto answer = LoginShell::run("command -v sh", patient);
    EXPECT_FALSE(answer);
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_EQ(offMain([] { return LoginShell::run("command -v sh", patient); }), "/bin/sh\n");
}

TEST(LoginShell, ShellsThatDoNotSpeakShAreReplacedBySh) {
    TemporaryFolder dir;
    // sh as a login shell reads ~/.profile, which puts the probe on the PATH.
    ScopedVariable home("HOME", (dir.path() / "home").string());
    fs::create_directories(dir.path() / "home/bin");
    writeExecutable(dir.path() / "home/bin/parlox-probe", "#!/bin/sh\n");
    std::ofstream(dir.path() / "home/.profile") << "PATH=\"$HOME/bin:$PATH\"\n";
    writeExecutable(dir.path() / "elsewhere", "#!/bin/sh\n");
    const fs::path bySh = dir.path() / "home/bin/parlox-probe";
    const fs::path byTheUsersShell = dir.path() / "elsewhere";

    const std::pair<std::string, fs::path> cases[] = {
        {"csh", bySh}, {"tcsh", bySh}, {"fish", bySh}, {"bash", byTheUsersShell}, {"zsh", byTheUsersShell},
    };
    for (const auto& [name, expected] : cases) {
        // A stand-in under the shell's name that answers with another path.
        const fs::path folder = dir.path() / ("shells-" + name);
        fs::create_directories(folder);
        writeExecutable(folder / name, "#!/bin/sh\necho '" + byTheUsersShell.string() + "'\n");
        ScopedShell shell(folder / name);
        EXPECT_EQ(offMain([] { return LoginShell::lookup("parlox-probe", patient); }), std::optional<fs::path>(expected))
            << name;
    }
}

TEST(UserShell, FallsBackWhenShellIsNotExecutable) {
    ScopedShell shell("/nonexistent/shell");
    auto chosen = userShell();
    EXPECT_NE(chosen, fs::path("/nonexistent/shell"));
    EXPECT_TRUE(chosen.is_absolute());
}
