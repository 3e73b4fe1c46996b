#include "platform/concurrency/ThreadPool.hpp"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "platform/concurrency/UsableCores.hpp"

namespace platform {

ThreadPool::ThreadPool(size_t threadCount) {
    threadCount = std::max<size_t>(threadCount, 1);
    threads_.reserve(threadCount);
    try {
        for (size_t i = 0; i < threadCount; ++i) threads_.emplace_back([this] { workerLoop(); });
    } catch (...) {
        // A thread the system would not start: the ones already running
        // are ended and joined, so the failure reaches the caller intact.
        stopAndJoin();
        throw;
    }
}

ThreadPool::~ThreadPool() { stopAndJoin(); }

void ThreadPool::stopAndJoin() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        dropped.swap(queue_);
    }
    condition_.notify_all();
    // Destroyed outside the lock: a dropped item's captures may submit
    // (refused now) or end a task's promise, which wakes its waiters.
    dropped.clear();
    for (auto& thread : threads_) thread.join();
}

ThreadPool& ThreadPool::shared() {
    // Never destroyed: joining at exit would wait on work that never ends.
    static ThreadPool* pool = new ThreadPool(std::max<size_t>(4, usableCoreCount()));
    return *pool;
}

void ThreadPool::submit(std::function<void()> work) {
    if (!work) return;
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        queue_.push_back(std::move(work));
    }
    condition_.notify_one();
}

void ThreadPool::workerLoop() {
    while (true) {
        std::function<void()> work;
        {
            std::unique_lock lock(mutex_);
            condition_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            work = std::move(queue_.front());
            queue_.pop_front();
        }
        try {
            work();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "pool work threw: %s\n", error.what());
        } catch (...) {
            std::fprintf(stderr, "pool work threw\n");
        }
    }
}

}  // namespace platform
