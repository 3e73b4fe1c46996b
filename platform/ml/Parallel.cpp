#include "platform/ml/Parallel.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace platform::ml {

namespace {

struct Job {
    const std::function<void(int64_t, int64_t)>* body;
    int64_t count;
    int64_t chunk;
    int64_t chunks;
    std::atomic<int64_t> next{0};
    std::atomic<int64_t> done{0};
    std::mutex mutex;
    std::condition_variable finished;

    // Runs chunks until none is left; true when this call finished the last.
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
        }
        if (helpers == 1) {
            wake_.notify_one();
        } else {
            wake_.notify_all();
        }
    }

private:
    void run() {
        for (;;) {
            std::shared_ptr<Job> job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
                if (stop_) return;
                job = std::move(queue_.front());
                queue_.pop_front();
            }
            job->work();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<Job>> queue_;
    std::vector<std::thread> threads_;
    bool stop_ = false;
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
    std::unique_lock lock(job->mutex);
    job->finished.wait(lock, [&] { return job->done.load() == job->chunks; });
}

}  // namespace platform::ml
