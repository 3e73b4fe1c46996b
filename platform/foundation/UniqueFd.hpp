#pragma once

#include <optional>

namespace platform {

// Sole owner of a file descriptor: closes it when destroyed or reset, moves
// but never copies. -1 stands for "none".
class UniqueFd {
public:
    UniqueFd() noexcept = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }

    // Gives the descriptor up without closing it.
    int release() noexcept;
    // Closes the one held (if any) and holds `fd` instead.
    void reset(int fd = -1) noexcept;
    // Closes now and reports how: 0, or close's errno. A writer needs this
    // to learn of data that never reached the disk.
    int close() noexcept;

private:
    int fd_ = -1;
};

struct Pipe {
    UniqueFd readEnd, writeEnd;
};

// A new pipe whose ends close on exec; nullopt with errno set when the
// system has none to give.
std::optional<Pipe> openPipe() noexcept;

}  // namespace platform
