#include "platform/ml/Parallel.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <immintrin.h>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

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
    std::atomic<int64_t> next{0};
    std::atomic<int64_t> done{0};
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
};

class Pool {
public:
    Pool() {
        const unsigned n = std::max(1u, std::thread::hardware_concurrency());
        for (unsigned i = 1; i < n; ++i) threads_.emplace_back([this] { run(); });
    }
    ~Pool() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (auto& t : threads_) t.join();
    }
    int size() const { return static_cast<int>(threads_.size()) + 1; }

    void submit(const std::shared_ptr<Job>& job, int helpers) {
        {
            std::lock_guard lock(mutex_);
            for (int i = 0; i < helpers; ++i) queue_.push_back(job);
            queued_.fetch_add(helpers);
        }
        if (sleepers_.load() > 0) wake_.notify_all();
    }

private:
    std::shared_ptr<Job> pop() {
        std::lock_guard lock(mutex_);
        if (queue_.empty()) return nullptr;
        auto job = std::move(queue_.front());
        queue_.pop_front();
        queued_.fetch_sub(1);
        return job;
    }

    void run() {
        for (;;) {
            if (auto job = pop()) {
                job->work();
                continue;
            }
            if (spinUntil([this] { return queued_.load(std::memory_order_relaxed) > 0 || stopping(); })) {
                if (stopping()) return;
                continue;
            }
            std::shared_ptr<Job> job;
            {
                std::unique_lock lock(mutex_);
                sleepers_.fetch_add(1);
                wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
                sleepers_.fetch_sub(1);
                if (stop_) return;
                job = std::move(queue_.front());
                queue_.pop_front();
                queued_.fetch_sub(1);
            }
            job->work();
        }
    }

    bool stopping() const { return stop_.load(std::memory_order_relaxed); }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<Job>> queue_;
    std::atomic<int> queued_{0};
    std::atomic<int> sleepers_{0};
    std::vector<std::thread> threads_;
    std::atomic<bool> stop_{false};
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
    const int64_t maxChunks = std::min<int64_t>(p.size() * 4, (count + grain - 1) / grain);
    if (maxChunks <= 1) {
        body(0, count);
        return;
    }
    auto job = std::make_shared<Job>();
    job->body = &body;
    job->count = count;
    job->chunk = (count + maxChunks - 1) / maxChunks;
    job->chunks = (count + job->chunk - 1) / job->chunk;
    p.submit(job, static_cast<int>(std::min<int64_t>(job->chunks - 1, p.size() - 1)));
    job->work();
    if (spinUntil([&] { return job->done.load() == job->chunks; })) return;
    std::unique_lock lock(job->mutex);
    job->finished.wait(lock, [&] { return job->done.load() == job->chunks; });
}

}  // namespace platform::ml
