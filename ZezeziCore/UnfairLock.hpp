#pragma once

#include <mutex>
#include <utility>

namespace ZezeziCore {

// A plain, non-reentrant lock shared by everything that holds a reference to it.
class UnfairLock {
public:
    UnfairLock() = default;
    UnfairLock(const UnfairLock&) = delete;
    UnfairLock& operator=(const UnfairLock&) = delete;

    // Runs the body under the lock; the lock is released whether the body
    // returns or throws.
    template <class F>
    decltype(auto) withLock(F&& body) {
        std::lock_guard guard(mutex_);
        return std::forward<F>(body)();
    }

private:
    std::mutex mutex_;
};

}  // namespace ZezeziCore
