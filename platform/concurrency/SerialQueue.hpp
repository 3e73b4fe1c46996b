#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>

namespace platform {

// Runs work one item at a time, in posting order, on a thread of its own
// (started with the first item). For state whose operations must not
// overlap and must keep their order, such as a log file's writer.
class SerialQueue {
public:
    explicit SerialQueue(std::string label = {});
    // Runs everything already queued, then stops the thread.
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& label() const { return label_; }

    // Queues work and returns at once. A throwing item is reported on stderr.
    void async(std::function<void()> work);

    // Runs fn on the queue after the work queued before it and returns its
    // result (or rethrows). Called from the queue's own work, it runs inline.
    template <class F>
    std::invoke_result_t<F&> sync(F&& fn) {
        using R = std::invoke_result_t<F&>;
        if (isCurrent()) return fn();
        std::packaged_task<R()> task(std::forward<F>(fn));
        std::future<R> result = task.get_future();
        async([&task] { task(); });
        return result.get();
    }

    // Returns once everything queued before the call has run.
    void waitUntilIdle();

    // True inside work run by this queue.
    bool isCurrent() const;

private:
    void loop();

    std::string label_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::function<void()>> queue_;
    uint64_t queued_ = 0;
    uint64_t finished_ = 0;
    bool stopping_ = false;
    std::thread thread_;
    std::thread::id threadId_;
};

}  // namespace platform
