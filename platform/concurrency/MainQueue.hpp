#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <queue>
#include <thread>
#include <type_traits>
#include <vector>

namespace platform {

// Cancels one piece of delayed work; copies share the same work.
class CancelHandle {
public:
    CancelHandle() = default;
    void cancel() const;
    bool isCancelled() const;
    explicit operator bool() const { return static_cast<bool>(flag_); }

private:
    friend class MainQueue;
    explicit CancelHandle(std::shared_ptr<std::atomic<bool>> flag) : flag_(std::move(flag)) {}
    std::shared_ptr<std::atomic<bool>> flag_;
};

// The main actor's queue of work. Any thread posts; the main thread runs
// the work, in posting order (delayed work in deadline order, then posting
// order). The queue only holds work: a loop pumps it, either the plain
// MainRunLoop (command line, tests) or the GUI event loop, which installs
// a wake-up handler and calls runPending() when woken.
class MainQueue {
public:
    using Clock = std::chrono::steady_clock;
    using Work = std::function<void()>;

    MainQueue();
    ~MainQueue();
    MainQueue(const MainQueue&) = delete;
    MainQueue& operator=(const MainQueue&) = delete;

    // The process-wide queue.
    static MainQueue& shared();

    // Conveniences on the shared queue.
    static void post(Work work) { shared().enqueue(std::move(work)); }
    static CancelHandle postAfter(double seconds, Work work) {
        return shared().enqueueAfter(seconds, std::move(work));
    }
    // Runs `work` every `seconds` (at least 1 ms) until cancelled.
    static CancelHandle postEvery(double seconds, Work work) {
        return shared().enqueueRepeating(seconds, std::move(work));
    }
    // True on the shared queue's main thread; before a loop has bound one,
    // the process's initial thread counts as the main thread.
    static bool isMainThread();
    // Aborts with a message when called off the main thread while one is bound.
    static void assertMainThread(const char* where = nullptr);

    // Runs fn on the main thread and returns its result (or rethrows),
    // blocking the caller meanwhile; on the main thread it runs at once.
    // Only for workers while a loop pumps the shared queue, and never while
    // the main thread waits on this worker.
    template <class F>
    static std::invoke_result_t<F&> sync(F&& fn) {
        using R = std::invoke_result_t<F&>;
        if (isMainThread()) return fn();
        std::packaged_task<R()> task(std::forward<F>(fn));
        std::future<R> result = task.get_future();
        post([&task] { task(); });
        return result.get();
    }

    void enqueue(Work work);
    CancelHandle enqueueAfter(double seconds, Work work);
    CancelHandle enqueueRepeating(double seconds, Work work);

    // The thread that runs the work. The first pump binds itself when no
    // thread is bound yet; the GUI binds its thread at start.
    void bindToCurrentThread();
    void unbindThread();
    bool isBoundThread() const;
    bool hasBoundThread() const;

    // Called from the posting thread whenever new work may be due sooner
    // (new immediate work, or an earlier deadline). Must not block. Once
    // setWakeHandler returns, the handler it replaced is no longer running
    // on any thread, so its owner may go.
    void setWakeHandler(std::function<void()> handler);

    // Runs the immediate work queued before the call and the delayed work due
    // by now; work posted meanwhile waits for the next call. Returns how
    // many items ran. A throwing item is reported on stderr and dropped.
    size_t runPending();

    bool hasImmediateWork() const;
    // The earliest deadline of live delayed work, if any.
    std::optional<Clock::time_point> nextDeadline() const;
    // Number of queued items (immediate and delayed, cancelled ones excluded).
    size_t pendingCount() const;

    // Blocks until work may be due or `until` passes; returns at once when
    // something is ready. For plain loops.
    void waitForWork(Clock::time_point until);
    // Wakes a waitForWork() from another thread.
    void interrupt();

    // Asks the loop pumping this queue (MainRunLoop) to return once the work
    // posted before this call has run; a request made while no loop runs
    // ends the next run after that work.
    void requestQuit();
    // Reads and clears the request.
    bool takeQuitRequest();

private:
    struct Timed {
        Clock::time_point deadline;
        uint64_t sequence;
        std::shared_ptr<std::atomic<bool>> cancelled;
        std::shared_ptr<Work> work;
        bool operator>(const Timed& other) const {
            return deadline != other.deadline ? deadline > other.deadline
                                              : sequence > other.sequence;
        }
    };

    void wake();
    void bindIfUnbound();
    void schedule(double seconds, std::shared_ptr<std::atomic<bool>> cancelled, Work work);

    mutable std::mutex mutex_;
    std::condition_variable condition_;
    std::deque<Work> immediate_;
    std::priority_queue<Timed, std::vector<Timed>, std::greater<Timed>> timed_;
    uint64_t sequence_ = 0;
    uint64_t interrupts_ = 0;
    bool quitRequested_ = false;
    // Held while the handler runs, so replacing it waits for calls in
    // flight; recursive because a handler may post.
    std::recursive_mutex wakeMutex_;
    std::function<void()> wakeHandler_;
    std::atomic<std::thread::id> boundThread_{};
};

}  // namespace platform
