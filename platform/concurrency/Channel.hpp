#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>

#include "platform/concurrency/WaitTime.hpp"

namespace platform {

// An unbounded queue from producers to consumers. After close() no more
// values go in; receivers still get what was queued, then nullopt (or, after
// finish(error), the error is rethrown). Share it by reference or shared_ptr.
// A termination handler runs once when the channel ends for any reason:
// close, finish, cancel by the consumer, or destruction.
template <class T>
class Channel {
public:
    Channel() = default;
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;
    ~Channel() { terminate(); }

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

    void close() { finish(nullptr); }

    // Closes; once drained, receivers get `error` rethrown instead of nullopt.
    void finish(std::exception_ptr error) {
        {
            std::lock_guard lock(mutex_);
            if (closed_) return;
            closed_ = true;
            error_ = std::move(error);
        }
        condition_.notify_all();
        terminate();
    }

    // The consumer gives up: closes and drops whatever is queued.
    void cancel() {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
            values_.clear();
        }
        condition_.notify_all();
        terminate();
    }

    // Runs `handler` once when the channel ends (at once if it already has).
    void setOnTermination(std::function<void()> handler) {
        {
            std::lock_guard lock(mutex_);
            if (!terminated_) {
                onTermination_ = std::move(handler);
                return;
            }
        }
        if (handler) handler();
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
        condition_.wait_for(lock, stop, detail::waitDuration(seconds),
                            [this] { return !values_.empty() || closed_; });
        return popLocked();
    }

    // The next value if one is queued now.
    std::optional<T> tryReceive() {
        std::lock_guard lock(mutex_);
        return popLocked();
    }

    size_t size() const {
        std::lock_guard lock(mutex_);
        return values_.size();
    }

private:
    void terminate() {
        std::function<void()> handler;
        {
            std::lock_guard lock(mutex_);
            if (terminated_) return;
            terminated_ = true;
            handler = std::move(onTermination_);
        }
        if (handler) handler();
    }

    std::optional<T> popLocked() {
        if (values_.empty()) {
            if (closed_ && error_) std::rethrow_exception(error_);
            return std::nullopt;
        }
        std::optional<T> value(std::move(values_.front()));
        values_.pop_front();
        return value;
    }

    mutable std::mutex mutex_;
    std::condition_variable_any condition_;
    std::deque<T> values_;
    bool closed_ = false;
    bool terminated_ = false;
    std::exception_ptr error_;
    std::function<void()> onTermination_;
};

}  // namespace platform
