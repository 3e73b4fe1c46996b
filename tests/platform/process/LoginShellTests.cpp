#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/concurrency/MainQueue.hpp"
#include "platform/process/LoginShell.hpp"
#include "platform/process/Subprocess.hpp"
#include "tests/support/TemporaryFolder.hpp"

namespace fs = std::filesystem;
using parlox::testing::TemporaryFolder;
using namespace platform::process;

namespace {

void writeExecutable(const fs::path& path, const std::string& text) {
    std::ofstream(path) << text;
    fs::permissions(path, fs::perms::owner_all);
}

// Points $SHELL at a stand-in for the test's life.
class ScopedShell {
public:
    explicit ScopedShell(const fs::path& shell) {
        if (const char* old = ::getenv("SHELL")) old_ = old;
        ::setenv("SHELL", shell.c_str(), 1);
    }
    ~ScopedShell() {
        if (old_) {
            ::setenv("SHELL", old_->c_str(), 1);
        } else {
            ::unsetenv("SHELL");
        }
    }

private:
    std::optional<std::string> old_;
};

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
    writeExecutable(dir.path() / "shell", "#!/bin/sh\n[ \"$1\" = -lc ] || exit 9\nPATH='" +
                                            dir.path().string() + "/bin' exec /bin/sh -c \"$2\"\n");
    fs::create_directories(dir.path() / "bin");
    writeExecutable(dir.path() / "bin" / "it's tool", "#!/bin/sh\n");
    ScopedShell shell(dir.path() / "shell");
    auto found = offMain([] { return LoginShell::lookup("it's tool"); });
    ASSERT_TRUE(found);
    EXPECT_EQ(*found, dir.path() / "bin" / "it's tool");
    EXPECT_FALSE(offMain([] { return LoginShell::lookup("it's tool; touch x"); }));
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
        writeExecutable(dir.path() / "shell", "#!/bin/sh\n" + c.body + "\n");
        ScopedShell shell(dir.path() / "shell");
        EXPECT_EQ(offMain([] { return LoginShell::lookup("codex"); }), c.expected) << c.body;
    }
}

TEST(LoginShell, AProfileThatHangsIsCutOffByTheTimeOut) {
    TemporaryFolder dir;
    writeExecutable(dir.path() / "shell", "#!/bin/sh\ntrap '' TERM\nsleep 30\n");
    ScopedShell shell(dir.path() / "shell");
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(offMain([] { return LoginShell::lookup("codex", 0.3); }));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
}

TEST(LoginShell, NeverRunsOnTheMainThread) {
    TemporaryFolder dir;
    auto marker = dir.path() / "ran";
    writeExecutable(dir.path() / "shell", "#!/bin/sh\ntouch '" + marker.string() + "'\necho /bin/sh\n");
    ScopedShell shell(dir.path() / "shell");
    EXPECT_TRUE(platform::MainQueue::isMainThread());
    auto answer = LoginShell::run("command -v sh");
    EXPECT_FALSE(answer);
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_EQ(offMain([] { return LoginShell::run("command -v sh"); }), "/bin/sh\n");
}

TEST(UserShell, FallsBackWhenShellIsNotExecutable) {
    ScopedShell shell("/nonexistent/shell");
    auto chosen = userShell();
    EXPECT_NE(chosen, fs::path("/nonexistent/shell"));
    EXPECT_TRUE(chosen.is_absolute());
}
