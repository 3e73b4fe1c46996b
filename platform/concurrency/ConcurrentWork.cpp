#include "platform/concurrency/ConcurrentWork.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <string>

#include "platform/concurrency/UsableCores.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/log/SystemLog.hpp"

namespace platform {

namespace {

// One batch, shared with the pool's helpers: a helper that starts after the
// batch has ended finds nothing left to take and never touches `job`.
struct Batch {
    std::mutex mutex;
    std::condition_variable ended;
    const std::function<void(size_t)>* job = nullptr;
    size_t count = 0;
    size_t next = 0;
    size_t done = 0;
    std::exception_ptr firstError;

    // Takes and runs jobs until none is left to take.
    void work() {
        for (;;) {
            size_t index;
            {
                std::lock_guard lock(mutex);
                if (next == count) return;
                index = next++;
            }
            std::exception_ptr error;
            try {
                (*job)(index);
            } catch (...) {
                error = std::current_exception();
            }
            std::lock_guard lock(mutex);
            if (error && !firstError) firstError = error;
            if (++done == count) ended.notify_all();
        }
    }
};

const SystemLogger& log() {
    static const SystemLogger logger("Parlox", "concurrency");
    return logger;
}

}  // namespace

size_t ConcurrentWork::coreCount() { return usableCoreCount(); }

ThreadPool* ConcurrentWork::pool() {
    // Never destroyed: a job still running at exit must not be joined.
    static std::atomic<ThreadPool*> shared{nullptr};
    static std::mutex starting;
    if (auto* started = shared.load(std::memory_order_acquire)) return started;
    std::lock_guard lock(starting);
    if (auto* started = shared.load(std::memory_order_acquire)) return started;
    try {
        shared.store(new ThreadPool(coreCount()), std::memory_order_release);
    } catch (...) {
        // Short of threads or memory for a while, perhaps: this batch runs on
        // its caller, and the next one tries again.
        log().error("Worker threads could not start (" + localizedDescription(std::current_exception()) +
                    "): the batch runs on the calling thread");
    }
    return shared.load(std::memory_order_acquire);
}

void ConcurrentWork::forEach(size_t count, size_t limit, const std::function<void(size_t)>& job, ThreadPool* pool) {
    if (count == 0) return;
    auto batch = std::make_shared<Batch>();
    batch->job = &job;
    batch->count = count;
    const size_t atOnce = std::min(count, limit == 0 ? coreCount() : limit);
    // The caller is one of the `atOnce`; helpers the pool cannot take are
    // simply not there, and the caller does their share.
    for (size_t i = 1; pool && i < atOnce; ++i) {
        try {
            pool->submit([batch] { batch->work(); });
        } catch (...) {
            break;
        }
    }
    batch->work();
    std::unique_lock lock(batch->mutex);
    batch->ended.wait(lock, [&] { return batch->done == batch->count; });
    if (batch->firstError) std::rethrow_exception(batch->firstError);
}

}  // namespace platform
