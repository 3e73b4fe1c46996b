#include "platform/foundation/UniqueFd.hpp"

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
}

int UniqueFd::release() noexcept { return std::exchange(fd_, -1); }

void UniqueFd::reset(int fd) noexcept {
    const int old = std::exchange(fd_, fd);
    // Linux frees the number even when close fails, so it is never retried.
    if (old >= 0 && old != fd) ::close(old);
}

int UniqueFd::close() noexcept {
    const int fd = release();
    if (fd < 0) return 0;
    return ::close(fd) == 0 ? 0 : errno;
}

std::optional<Pipe> openPipe() noexcept {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
    return Pipe{UniqueFd(fds[0]), UniqueFd(fds[1])};
}

}  // namespace platform
