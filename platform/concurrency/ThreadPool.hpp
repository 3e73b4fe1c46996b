#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

// A fixed set of worker threads taking work in posting order.
// Work that waits for other pool work must not run here (it could hold
// the slots its children need): use Task::runOnThread for it, or
// ConcurrentWork, whose waiting callers run what the pool has not taken.
class ThreadPool {
public:
    // Throws std::system_error when a thread cannot be started.
    explicit ThreadPool(size_t threadCount);
    // Lets running work finish, drops what has not started (a dropped
    // task's waiters get std::future_error, broken promise), joins.
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    // The process-wide pool: max(4, usable cores) workers, alive until exit.
    static ThreadPool& shared();

    void submit(std::function<void()> work);
    size_t threadCount() const { return threads_.size(); }

private:
    void workerLoop();
    // Lets running work finish, drops what has not started, joins.
    void stopAndJoin();

    std::mutex mutex_;
    std::condition_variable condition_;
    std::deque<std::function<void()>> queue_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace platform
