#pragma once

#include <mutex>
#include <utility>

namespace platform {

// A value reached only under its mutex.
template <class T>
class Guarded {
public:
    Guarded() = default;
    explicit Guarded(T value) : value_(std::move(value)) {}
    Guarded(const Guarded&) = delete;
    Guarded& operator=(const Guarded&) = delete;

    // Calls fn(T&) under the lock and returns what it returns.
    template <class F>
    decltype(auto) withLock(F&& fn) {
        std::lock_guard lock(mutex_);
        return std::forward<F>(fn)(value_);
    }
    template <class F>
    decltype(auto) withLock(F&& fn) const {
        std::lock_guard lock(mutex_);
        return std::forward<F>(fn)(std::as_const(value_));
    }

    T get() const {
        std::lock_guard lock(mutex_);
        return value_;
    }
    void set(T value) {
        std::lock_guard lock(mutex_);
        value_ = std::move(value);
    }
    // Stores `value` and returns the old one.
    T exchange(T value) {
        std::lock_guard lock(mutex_);
        std::swap(value_, value);
        return value;
    }

private:
    mutable std::mutex mutex_;
    T value_{};
};

}  // namespace platform
