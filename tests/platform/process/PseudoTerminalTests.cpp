#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/process/PseudoTerminal.hpp"
#include "tests/support/TemporaryFolder.hpp"

extern char** environ;

using platform::process::PseudoTerminalUse;
using platform::process::pseudoTerminalUse;

namespace {

// A child of ours with nothing but its standard files.
pid_t spawnSleeper() {
    pid_t child = 0;
    char sleepPath[] = "/bin/sleep";
    char seconds[] = "30";
    char* argv[] = {sleepPath, seconds, nullptr};
    EXPECT_EQ(::posix_spawn(&child, sleepPath, nullptr, nullptr, argv, environ), 0);
    return child;
}

void end(pid_t child) {
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

// A child of ours that holds a pseudo-terminal's master side, as the helper
// that runs an editor's terminal panel does; ready when this returns.
pid_t spawnMasterHolder() {
    int ready[2];
    EXPECT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        const char answer = master >= 0 ? 'y' : 'n';
        (void)!::write(ready[1], &answer, 1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char answer = 0;
    EXPECT_EQ(::read(ready[0], &answer, 1), 1);
    EXPECT_EQ(answer, 'y');
    ::close(ready[0]);
    return child;
}

TEST(PseudoTerminal, AProcessHoldingAMasterIsToldFromOneThatDoesNot) {
    const pid_t sleeper = spawnSleeper();
    EXPECT_EQ(pseudoTerminalUse(sleeper), PseudoTerminalUse::none);

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    EXPECT_EQ(pseudoTerminalUse(::getpid()), PseudoTerminalUse::holds);
    ::close(master);
    // Our only child holds nothing.
    EXPECT_EQ(pseudoTerminalUse(::getpid()), PseudoTerminalUse::none);
    end(sleeper);
}

TEST(PseudoTerminal, AMasterHeldByAProcessItStartedPutsItInDoubt) {
    const pid_t helper = spawnMasterHolder();
    EXPECT_EQ(pseudoTerminalUse(helper), PseudoTerminalUse::holds);
    EXPECT_EQ(pseudoTerminalUse(::getpid()), PseudoTerminalUse::inDoubt);
    end(helper);
    EXPECT_EQ(pseudoTerminalUse(::getpid()), PseudoTerminalUse::none);
}

// A window may name a process that is not there (a sandboxed program
// gives its own numbering): what it holds cannot be read.
TEST(PseudoTerminal, AProcessWhoseFilesCannotBeReadIsInDoubt) {
    const pid_t gone = spawnSleeper();
    end(gone);
    EXPECT_EQ(pseudoTerminalUse(gone), PseudoTerminalUse::inDoubt);
    EXPECT_EQ(pseudoTerminalUse(0), PseudoTerminalUse::inDoubt);
}

// A process table laid out as /proc. Each process's threads list the
// children they started, as the kernel may; without those lists, only each
// process's stat names its parent.
class ProcessTable {
public:
    explicit ProcessTable(bool listsChildren) : listsChildren_(listsChildren) {}

    // `threads`: the children each of its threads started.
    void add(int pid, int parent, bool holdsMaster, const std::vector<std::vector<int>>& threads = {{}}) {
        const auto process = folder_ / std::to_string(pid);
        std::filesystem::create_directories(process / "fd");
        std::filesystem::create_symlink(holdsMaster ? "/dev/ptmx" : "/dev/null", process / "fd" / "3");
        for (size_t thread = 0; thread < threads.size(); ++thread) {
            const auto task = process / "task" / std::to_string(pid + 1000 * static_cast<int>(thread));
            std::filesystem::create_directories(task);
            std::string list;
            for (const int child : threads[thread]) list += std::to_string(child) + " ";
            if (listsChildren_) folder_.writeFile(task.lexically_relative(folder_.path()) / "children", list);
        }
        if (!listsChildren_)
            folder_.writeFile(std::to_string(pid) + "/stat",
                              std::to_string(pid) + " (a (b) c) S " + std::to_string(parent) + " 1 1 0 -1");
    }
    const std::filesystem::path& path() const { return folder_.path(); }

private:
    bool listsChildren_;
    parlox::testing::TemporaryFolder folder_;
};

// The process 100 started 101, which started 102, from its first thread,
// and 103 from another; 200 is not its own. Where the kernel lists
// children, the parents in the stat files are never needed: none are there.
TEST(PseudoTerminal, OnlyItsOwnSubtreeIsLookedAt) {
    struct Case {
        const char* name;
        bool listsChildren;
        int holder;  // the one process below 100 that holds a master; 0: none
        PseudoTerminalUse expected;
    };
    for (const Case& c : {Case{"a grandchild", true, 102, PseudoTerminalUse::inDoubt},
                          Case{"a child of another thread", true, 103, PseudoTerminalUse::inDoubt},
                          Case{"none", true, 0, PseudoTerminalUse::none},
                          Case{"a grandchild, no children listed", false, 102, PseudoTerminalUse::inDoubt},
                          Case{"a child of another thread, no children listed", false, 103,
                               PseudoTerminalUse::inDoubt},
                          Case{"none, no children listed", false, 0, PseudoTerminalUse::none}}) {
        SCOPED_TRACE(c.name);
        ProcessTable table(c.listsChildren);
        table.add(1, 0, false, {{100, 200}});
        table.add(100, 1, false, {{101}, {103}});
        table.add(101, 100, c.holder == 101, {{102}});
        table.add(102, 101, c.holder == 102);
        table.add(103, 100, c.holder == 103);
        table.add(200, 1, true);
        EXPECT_EQ(pseudoTerminalUse(100, table.path()), c.expected);
        EXPECT_EQ(pseudoTerminalUse(200, table.path()), PseudoTerminalUse::holds);
    }
}

}  // namespace
