#include "platform/concurrency/SerialQueue.hpp"

#include <cstdio>
#include <exception>

namespace platform {

SerialQueue::SerialQueue(std::string label) : label_(std::move(label)) {}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();  // destroyed by its own work: cannot join itself
        else
            thread_.join();
    }
}

void SerialQueue::async(std::function<void()> work) {
    if (!work) return;
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        queue_.push_back(std::move(work));
        ++queued_;
        if (!thread_.joinable()) {
            thread_ = std::thread([this] { loop(); });
            threadId_ = thread_.get_id();
        }
    }
    wake_.notify_one();
}

void SerialQueue::waitUntilIdle() {
    std::unique_lock lock(mutex_);
    if (threadId_ == std::this_thread::get_id()) return;  // would wait on itself
    const uint64_t target = queued_;
    idle_.wait(lock, [&] { return finished_ >= target; });
}

bool SerialQueue::isCurrent() const {
    std::lock_guard lock(mutex_);
    return threadId_ == std::this_thread::get_id();
}

void SerialQueue::loop() {
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping and drained
        std::function<void()> work = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        try {
            work();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s: work threw: %s\n", label_.c_str(), error.what());
        } catch (...) {
            std::fprintf(stderr, "%s: work threw\n", label_.c_str());
        }
        work = nullptr;
        lock.lock();
        ++finished_;
        idle_.notify_all();
    }
}

}  // namespace platform
