#include "platform/ml/Parallel.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <immintrin.h>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/concurrency/UsableCores.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/log/SystemLog.hpp"

namespace platform::ml {

namespace {

// A decoder step runs dozens of short parallel loops; threads that go to
// sleep between them cost more than the loops. Idle threads spin this long
// before they block.
constexpr auto kSpin = std::chrono::microseconds(200);

template <class Ready>
bool spinUntil(const Ready& ready) {
    const auto end = std::chrono::steady_clock::now() + kSpin;
    for (;;) {
        for (int i = 0; i < 64; ++i) {
            if (ready()) return true;
            _mm_pause();
        }
        if (std::chrono::steady_clock::now() >= end) return false;
    }
}

struct Job {
    const std::function<void(int64_t, int64_t)>* body;
    int64_t count;
    int64_t chunk;
    int64_t chunks;
    // Counters on lines of their own: every thread hits them.
    alignas(64) std::atomic<int64_t> next{0};
    alignas(64) std::atomic<int64_t> done{0};
    std::mutex mutex;
    std::condition_variable finished;

    void work() {
        for (;;) {
            const int64_t c = next.fetch_add(1);
            if (c >= chunks) return;
            const int64_t b = c * chunk;
            (*body)(b, std::min(count, b + chunk));
            if (done.fetch_add(1) + 1 == chunks) {
                std::lock_guard lock(mutex);
                finished.notify_all();
            }
        }
    }

    void wait() {
        if (spinUntil([&] { return done.load() == chunks; })) return;
        std::unique_lock lock(mutex);
        finished.wait(lock, [&] { return done.load() == chunks; });
    }
};

const SystemLogger& log() {
    static const SystemLogger logger("Parlox", "ml");
    return logger;
}

// One loop at a time is broadcast to all threads without locks: the caller
// publishes it and bumps the epoch; spinning threads see that within a
// fraction of a microsecond. A loop started while another one runs (another
// model, or a loop inside a loop) goes through a locked queue instead.
class Pool {
public:
    // A thread for each core the process may run on, the caller's included.
    Pool() : wanted_(usableCoreCount() - 1) { grow(); }
    ~Pool() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (auto& t : threads_) t.join();
    }
    int size() const { return static_cast<int>(started_.load(std::memory_order_acquire)) + 1; }

    // Starts the threads the pool still lacks. When the system will not
    // start one (short of threads or memory for a while, perhaps), loops run
    // on those that did start, and the next loop tries again; the shortage
    // is logged when it begins.
    void grow() {
        if (started_.load(std::memory_order_acquire) == wanted_) return;
        std::unique_lock lock(growing_, std::try_to_lock);
        if (!lock) return;
        try {
            threads_.reserve(wanted_);
            while (threads_.size() < wanted_) {
                // The loop about to be broadcast is news to the new thread,
                // however late it gets going.
                threads_.emplace_back([this, seen = epoch_.load()] { run(seen); });
                started_.store(threads_.size(), std::memory_order_release);
            }
            short_ = false;
        } catch (...) {
            if (short_) return;
            short_ = true;
            log().error("Worker threads could not start (" + localizedDescription(std::current_exception()) +
                        "): parallel loops run on " + std::to_string(size()) + " threads of " +
                        std::to_string(wanted_ + 1) + " until more can start");
        }
    }

    // Runs the job with the pool's help; returns false when the broadcast
    // slot is taken.
    bool broadcast(Job& job) {
        if (busy_.exchange(true, std::memory_order_acquire)) return false;
        current_.store(&job);
        epoch_.fetch_add(1);
        wakeSleepers();
        job.work();
        job.wait();
        current_.store(nullptr);
        // Threads that took the job's address may still be leaving work().
        while (active_.load() != 0) _mm_pause();
        busy_.store(false, std::memory_order_release);
        return true;
    }

    void submit(const std::shared_ptr<Job>& job, int helpers) {
        {
            std::lock_guard lock(mutex_);
            for (int i = 0; i < helpers; ++i) queue_.push_back(job);
            queued_.fetch_add(helpers);
        }
        wakeSleepers();
    }

private:
    void wakeSleepers() {
        if (sleepers_.load() > 0) {
            std::lock_guard lock(mutex_);
            wake_.notify_all();
        }
    }

    std::shared_ptr<Job> pop() {
        std::lock_guard lock(mutex_);
        if (queue_.empty()) return nullptr;
        auto job = std::move(queue_.front());
        queue_.pop_front();
        queued_.fetch_sub(1);
        return job;
    }

    bool joinBroadcast(uint64_t& seen) {
        const uint64_t e = epoch_.load();
        if (e == seen) return false;
        seen = e;
        active_.fetch_add(1);
        if (Job* job = current_.load()) job->work();
        active_.fetch_sub(1);
        return true;
    }

    bool pending(uint64_t seen) const {
        return epoch_.load(std::memory_order_relaxed) != seen || queued_.load(std::memory_order_relaxed) > 0 ||
               stop_.load(std::memory_order_relaxed);
    }

    void run(uint64_t seen) {
        for (;;) {
            if (joinBroadcast(seen)) continue;
            if (queued_.load(std::memory_order_relaxed) > 0) {
                if (auto job = pop()) {
                    job->work();
                    continue;
                }
            }
            if (stop_.load()) return;
            if (spinUntil([&] { return pending(seen); })) continue;
            std::unique_lock lock(mutex_);
            sleepers_.fetch_add(1);
            wake_.wait(lock, [&] { return stop_ || !queue_.empty() || epoch_.load() != seen; });
            sleepers_.fetch_sub(1);
        }
    }

    // Idle threads poll the epoch and the queue count: those lines change
    // only when work arrives, apart from the counters threads write.
    alignas(64) std::atomic<uint64_t> epoch_{0};
    std::atomic<Job*> current_{nullptr};
    std::atomic<int> queued_{0};
    std::atomic<bool> stop_{false};
    alignas(64) std::atomic<int> active_{0};
    alignas(64) std::atomic<bool> busy_{false};
    std::atomic<int> sleepers_{0};
    alignas(64) std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<Job>> queue_;
    const size_t wanted_;
    std::atomic<size_t> started_{0};
    std::mutex growing_;  // held by the one caller starting threads
    bool short_ = false;  // the last try fell short
    std::vector<std::thread> threads_;
};

Pool& pool() {
    static Pool p;
    return p;
}

}  // namespace

int workerCount() { return pool().size(); }

void parallelFor(int64_t count, int64_t grain, const std::function<void(int64_t, int64_t)>& body) {
    if (count <= 0) return;
    grain = std::max<int64_t>(grain, 1);
    auto& p = pool();
    p.grow();
    const int64_t maxChunks = std::min<int64_t>(p.size() * 4, (count + grain - 1) / grain);
    if (maxChunks <= 1) {
        body(0, count);
        return;
    }
    const int64_t chunk = (count + maxChunks - 1) / maxChunks;
    {
        Job job;
        job.body = &body;
        job.count = count;
        job.chunk = chunk;
        job.chunks = (count + chunk - 1) / chunk;
        if (p.broadcast(job)) return;
    }
    auto job = std::make_shared<Job>();
    job->body = &body;
    job->count = count;
    job->chunk = chunk;
    job->chunks = (count + chunk - 1) / chunk;
    p.submit(job, static_cast<int>(std::min<int64_t>(job->chunks - 1, p.size() - 1)));
    job->work();
    job->wait();
}

}  // namespace platform::ml
