#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "tests/support/ProcessGone.hpp"
#include "tests/support/ReadFile.hpp"

namespace {

// A child that waits for a signal; -1 when it cannot be made.
pid_t waitingChild() {
    const pid_t child = ::fork();
    if (child == 0) {
        ::pause();
        ::_exit(0);
    }
    return child;
}

// A /proc file opened while its process ran and read after it was reaped:
// the read fails part way, which is what a check of a helper that ends
// under it meets.
TEST(ProcessGone, AProcFileWhoseProcessWasReapedReadsAsEmpty) {
    const pid_t child = waitingChild();
    ASSERT_GE(child, 0);
    const int stat = ::open(("/proc/" + std::to_string(child) + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(stat, 0);
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);

    EXPECT_EQ(parlox::testing::readFile("/proc/self/fd/" + std::to_string(stat)), "");
    EXPECT_TRUE(parlox::testing::processGone(child));
    ::close(stat);
}

TEST(ProcessGone, ARunningProcessIsNotGoneAndItsZombieIs) {
    const pid_t child = waitingChild();
    ASSERT_GE(child, 0);
    EXPECT_FALSE(parlox::testing::processGone(child));
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    siginfo_t info{};
    // Wait for the end without reaping, so only the zombie is left.
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT), 0);
    EXPECT_TRUE(parlox::testing::processGone(child));
    ::waitpid(child, nullptr, 0);
}

}  // namespace
