#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <stop_token>

namespace platform {

// An unbounded queue from producers to consumers. After close() no more
// values go in; receivers still get what was queued, then nullopt.
// Share it by reference or shared_ptr.
template <class T>
class Channel {
public:
    Channel() = default;
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    // False (value dropped) when the channel is closed.
    bool send(T value) {
        {
            std::lock_guard lock(mutex_);
            if (closed_) return false;
            values_.push_back(std::move(value));
        }
        condition_.notify_one();
        return true;
    }

    void close() {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
        }
        condition_.notify_all();
    }

    bool isClosed() const {
        std::lock_guard lock(mutex_);
        return closed_;
    }

    // Blocks for the next value; nullopt once closed and drained, or when
    // `stop` is requested while waiting.
    std::optional<T> receive(std::stop_token stop = {}) {
        std::unique_lock lock(mutex_);
        condition_.wait(lock, stop, [this] { return !values_.empty() || closed_; });
        return popLocked();
    }

    // As receive(), giving up after `seconds`.
    std::optional<T> receiveFor(double seconds, std::stop_token stop = {}) {
        std::unique_lock lock(mutex_);
        condition_.wait_for(lock, stop, std::chrono::duration<double>(seconds),
                            [this] { return !values_.empty() || closed_; });
        return popLocked();
    }

    std::optional<T> tryReceive() {
        std::lock_guard lock(mutex_);
        return popLocked();
    }

    size_t size() const {
        std::lock_guard lock(mutex_);
        return values_.size();
    }

private:
    std::optional<T> popLocked() {
        if (values_.empty()) return std::nullopt;
        std::optional<T> value(std::move(values_.front()));
        values_.pop_front();
        return value;
    }

    mutable std::mutex mutex_;
    std::condition_variable_any condition_;
    std::deque<T> values_;
    bool closed_ = false;
};

}  // namespace platform
