#pragma once

#include <filesystem>
#include <stop_token>

#include "platform/foundation/UniqueFd.hpp"

namespace platform {

// Holds an exclusive advisory lock on a folder for the life of the object,
// so two processes changing the same files take turns. A folder that cannot
// be opened is not locked (the work goes on unguarded).
class FolderLock {
public:
    explicit FolderLock(const std::filesystem::path& folder);
    // The same, but a stop request ends the wait for the lock (which is then
    // not taken: the caller checks its stop token).
    FolderLock(const std::filesystem::path& folder, std::stop_token stop);
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    bool isLocked() const { return static_cast<bool>(fd_); }

private:
    UniqueFd fd_;  // closing it releases the lock
};

}  // namespace platform
