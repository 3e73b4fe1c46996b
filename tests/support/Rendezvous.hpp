#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace parlox::testing {

// Pieces of work that each wait until `count` of them run at once: they
// meet only when that many threads take them together. A wait gives up
// after a minute, so a missing thread fails a test instead of hanging it.
class Rendezvous {
public:
    explicit Rendezvous(size_t count) : count_(count) {}
    // Whether all met.
    bool arrive() {
        std::unique_lock lock(mutex_);
        ++arrived_;
        changed_.notify_all();
        return changed_.wait_for(lock, std::chrono::seconds(60), [&] { return arrived_ >= count_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t count_;
    size_t arrived_ = 0;
};

}  // namespace parlox::testing
