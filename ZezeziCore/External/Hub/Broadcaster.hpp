#pragma once

#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>

#include "platform/concurrency/Channel.hpp"

namespace Hub {

// One subscriber's unbounded stream of values.
template <class T>
using Subscription = platform::Channel<T>;

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
            sub->send(*latest_);
        } else if (initialState_) {
            if (auto v = initialState_()) sub->send(*v);
        }
        if (finished_) {
            sub->close();
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
                s->send(value);
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
            if (auto s = w.lock()) s->close();
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
