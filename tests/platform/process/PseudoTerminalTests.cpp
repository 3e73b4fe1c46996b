#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/process/PseudoTerminal.hpp"

extern char** environ;

using platform::process::holdsPseudoTerminalMaster;

namespace {

TEST(PseudoTerminal, AProcessHoldingAMasterIsToldFromOneThatDoesNot) {
    // A child of ours with nothing but its standard files.
    pid_t child = 0;
    char sleepPath[] = "/bin/sleep";
    char seconds[] = "30";
    char* argv[] = {sleepPath, seconds, nullptr};
    ASSERT_EQ(::posix_spawn(&child, sleepPath, nullptr, nullptr, argv, environ), 0);
    EXPECT_FALSE(holdsPseudoTerminalMaster(child));

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    EXPECT_TRUE(holdsPseudoTerminalMaster(::getpid()));
    ::close(master);
    EXPECT_FALSE(holdsPseudoTerminalMaster(::getpid()));

    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_FALSE(holdsPseudoTerminalMaster(child));  // gone
    EXPECT_FALSE(holdsPseudoTerminalMaster(0));
}

}  // namespace
