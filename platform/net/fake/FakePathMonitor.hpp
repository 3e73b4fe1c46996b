#pragma once

#include <mutex>

#include "platform/net/PathMonitor.hpp"

namespace platform::net {

// A path monitor the test drives: push() delivers a path on the caller's thread.
class FakePathMonitor : public PathMonitor {
public:
    void start(Handler handler) override {
        std::lock_guard lock(mutex_);
        handler_ = std::move(handler);
        ++starts_;
    }
    void cancel() override {
        std::lock_guard lock(mutex_);
        handler_ = nullptr;
    }
    void push(const NetworkPath& path) {
        Handler h;
        {
            std::lock_guard lock(mutex_);
            h = handler_;
        }
        if (h) h(path);
    }
    int starts() const {
        std::lock_guard lock(mutex_);
        return starts_;
    }

private:
    mutable std::mutex mutex_;
    Handler handler_;
    int starts_ = 0;
};

}  // namespace platform::net
