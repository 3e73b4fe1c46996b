#include "platform/foundation/FolderLock.hpp"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include <fcntl.h>
#include <sys/file.h>

namespace platform {

FolderLock::FolderLock(const std::filesystem::path& folder) : FolderLock(folder, std::stop_token()) {}

FolderLock::FolderLock(const std::filesystem::path& folder, std::stop_token stop)
    : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (!fd_) return;
    if (!stop.stop_possible()) {
        while (::flock(fd_.get(), LOCK_EX) != 0 && errno == EINTR) {
        }
        return;
    }
    // The lock is asked for in turns, so that a stop is seen while another
    // holder keeps it (for minutes, when it installs a model).
    std::mutex mutex;
    std::unique_lock lock(mutex);
    std::condition_variable_any turn;
    while (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return;
        turn.wait_for(lock, stop, std::chrono::milliseconds(50), [] { return false; });
        if (stop.stop_requested()) {
            fd_.reset();
            return;
        }
    }
}

}  // namespace platform
