#include "platform/foundation/UniqueFd.hpp"

#include <cerrno>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using platform::UniqueFd;

// A pipe whose write end the test hands to UniqueFd: the read end sees the
// end of input exactly when every copy of the write end is closed.
struct WatchedPipe {
    WatchedPipe() {
        if (auto pipe = platform::openPipe()) {
            readEnd = std::move(pipe->readEnd);
            writeEnd = pipe->writeEnd.release();
            ::fcntl(readEnd.get(), F_SETFL, O_NONBLOCK);
        }
    }
    // true: closed; false: open with nothing in it.
    bool writeEndClosed() const {
        char byte;
        return ::read(readEnd.get(), &byte, 1) == 0;
    }
    UniqueFd readEnd;
    int writeEnd = -1;
};

bool writable(int fd) { return ::write(fd, "x", 1) == 1; }

TEST(UniqueFd, ClosesWhatItHoldsWhenDestroyed) {
    WatchedPipe pipe;
    ASSERT_TRUE(pipe.readEnd);
    {
        UniqueFd owner(pipe.writeEnd);
        EXPECT_TRUE(owner);
        EXPECT_EQ(owner.get(), pipe.writeEnd);
        EXPECT_FALSE(pipe.writeEndClosed());
    }
    EXPECT_TRUE(pipe.writeEndClosed());
    EXPECT_FALSE(UniqueFd());
    EXPECT_EQ(UniqueFd().get(), -1);
}

TEST(UniqueFd, MovingHandsTheDescriptorOverAndClosesTheOneReplaced) {
    WatchedPipe first, second;
    UniqueFd a(first.writeEnd);
    UniqueFd b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(b.get(), first.writeEnd);
    EXPECT_FALSE(first.writeEndClosed());

    UniqueFd c(second.writeEnd);
    c = std::move(b);
    EXPECT_TRUE(second.writeEndClosed());
    EXPECT_FALSE(first.writeEndClosed());
    auto& self = c;
    c = std::move(self);
    EXPECT_EQ(c.get(), first.writeEnd);
    c.reset(c.get());  // holding the same number again keeps it open
    EXPECT_FALSE(first.writeEndClosed());
    c.reset();
    EXPECT_TRUE(first.writeEndClosed());
}

TEST(UniqueFd, ReleaseLeavesTheDescriptorOpen) {
    WatchedPipe pipe;
    int fd;
    {
        UniqueFd owner(pipe.writeEnd);
        fd = owner.release();
        EXPECT_FALSE(owner);
    }
    EXPECT_EQ(fd, pipe.writeEnd);
    EXPECT_TRUE(writable(fd));
    ::close(fd);
    char byte;
    EXPECT_EQ(::read(pipe.readEnd.get(), &byte, 1), 1);
    EXPECT_TRUE(pipe.writeEndClosed());
}

TEST(UniqueFd, CloseReportsTheOutcome) {
    WatchedPipe pipe;
    UniqueFd owner(pipe.writeEnd);
    EXPECT_EQ(owner.close(), 0);
    EXPECT_FALSE(owner);
    EXPECT_TRUE(pipe.writeEndClosed());
    EXPECT_EQ(owner.close(), 0);  // nothing held, nothing to report
    // A number that was already closed behind its back.
    UniqueFd stale(pipe.writeEnd);
    EXPECT_EQ(stale.close(), EBADF);
}

TEST(UniqueFd, PipesCloseOnExec) {
    auto pipe = platform::openPipe();
    ASSERT_TRUE(pipe);
    for (const UniqueFd* end : {&pipe->readEnd, &pipe->writeEnd}) {
        ASSERT_TRUE(*end);
        EXPECT_TRUE(::fcntl(end->get(), F_GETFD) & FD_CLOEXEC);
    }
    ASSERT_EQ(::write(pipe->writeEnd.get(), "ab", 2), 2);
    pipe->writeEnd.reset();
    char bytes[3];
    EXPECT_EQ(::read(pipe->readEnd.get(), bytes, 3), 2);
    EXPECT_EQ(::read(pipe->readEnd.get(), bytes, 3), 0);
}

}  // namespace
