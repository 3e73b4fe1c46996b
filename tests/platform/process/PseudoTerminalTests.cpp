#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/process/PseudoTerminal.hpp"

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

}  // namespace
