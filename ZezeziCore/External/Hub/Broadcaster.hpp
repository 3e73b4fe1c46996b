#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>

namespace Hub {

// One subscriber's unbounded stream of values.
template <class T>
class Subscription {
public:
    // The next value; none once the stream is finished and drained, or when
    // the stop token is triggered.
    std::optional<T> next(std::stop_token stop = {}) {
        std::unique_lock lock(mutex_);
        std::condition_variable_any& cv = cv_;
        cv.wait(lock, stop, [&] { return !queue_.empty() || finished_; });
        if (queue_.empty()) return std::nullopt;
        T value = std::move(queue_.front());
        queue_.pop_front();
        return value;
    }

    void push(T value) {
        {
            std::lock_guard lock(mutex_);
            if (finished_) return;
            queue_.push_back(std::move(value));
        }
        cv_.notify_all();
    }

    void finish() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        cv_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable_any cv_;
    std::deque<T> queue_;
    bool finished_ = false;
};

// Hands every value to all subscribers; a new subscriber first receives the
// latest value (or the initial one when nothing was broadcast yet). The
// replay happens under the lock, so it never repeats or reorders a value.
template <class T>
class Broadcaster {
public:
    explicit Broadcaster(std::function<std::optional<T>()> initialState) : initialState_(std::move(initialState)) {}

    ~Broadcaster() { finishAll(); }

    std::shared_ptr<Subscription<T>> subscribe() {
        auto sub = std::make_shared<Subscription<T>>();
        std::lock_guard lock(mutex_);
        if (latest_) {
            sub->push(*latest_);
        } else if (initialState_) {
            if (auto v = initialState_()) sub->push(*v);
        }
        if (finished_) {
            sub->finish();
        } else {
            subscribers_.push_back(sub);
        }
        return sub;
    }

    void broadcast(const T& value) {
        std::lock_guard lock(mutex_);
        latest_ = value;
        for (auto it = subscribers_.begin(); it != subscribers_.end();) {
            if (auto s = it->lock()) {
                s->push(value);
                ++it;
            } else {
                it = subscribers_.erase(it);
            }
        }
    }

    std::optional<T> latestState() const {
        std::lock_guard lock(mutex_);
        return latest_;
    }

    // Ends every stream (no subscriber waits forever on a dead producer).
    void finishAll() {
        std::lock_guard lock(mutex_);
        finished_ = true;
        for (auto& w : subscribers_)
            if (auto s = w.lock()) s->finish();
        subscribers_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::function<std::optional<T>()> initialState_;
    std::optional<T> latest_;
    std::list<std::weak_ptr<Subscription<T>>> subscribers_;
    bool finished_ = false;
};

}  // namespace Hub
