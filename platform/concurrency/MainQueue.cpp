#include "platform/concurrency/MainQueue.hpp"

#include <cstdio>
#include <cstdlib>
#include <exception>

#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

namespace platform {

void CancelHandle::cancel() const {
    if (flag_) flag_->store(true);
}

bool CancelHandle::isCancelled() const { return flag_ && flag_->load(); }

MainQueue::MainQueue() = default;
MainQueue::~MainQueue() = default;

MainQueue& MainQueue::shared() {
    // Never destroyed: work may still be posted while the process exits.
    static MainQueue* queue = new MainQueue();
    return *queue;
}

bool MainQueue::isMainThread() {
    MainQueue& queue = shared();
    if (queue.hasBoundThread()) return queue.isBoundThread();
    return ::syscall(SYS_gettid) == ::getpid();
}

void MainQueue::assertMainThread(const char* where) {
    MainQueue& queue = shared();
    if (queue.hasBoundThread() && !queue.isBoundThread()) {
        std::fprintf(stderr, "main-thread work called from another thread%s%s\n",
                     where ? ": " : "", where ? where : "");
        std::abort();
    }
}

void MainQueue::enqueue(Work work) {
    if (!work) return;
    {
        std::lock_guard lock(mutex_);
        immediate_.push_back(std::move(work));
    }
    wake();
}

CancelHandle MainQueue::enqueueAfter(double seconds, Work work) {
    auto flag = std::make_shared<std::atomic<bool>>(false);
    if (!work) {
        flag->store(true);
        return CancelHandle(flag);
    }
    schedule(seconds, flag, std::move(work));
    return CancelHandle(flag);
}

CancelHandle MainQueue::enqueueRepeating(double seconds, Work work) {
    auto flag = std::make_shared<std::atomic<bool>>(false);
    if (!work) {
        flag->store(true);
        return CancelHandle(flag);
    }
    if (!(seconds >= 0.001)) seconds = 0.001;
    // Each run schedules the next one; the chain ends once cancelled.
    auto body = std::make_shared<Work>(std::move(work));
    auto tick = std::make_shared<Work>();
    std::weak_ptr<Work> weakTick = tick;
    *tick = [this, flag, body, seconds, weakTick] {
        if (flag->load()) return;
        (*body)();
        if (flag->load()) return;
        if (auto next = weakTick.lock()) schedule(seconds, flag, [next] { (*next)(); });
    };
    schedule(seconds, flag, [tick] { (*tick)(); });
    return CancelHandle(flag);
}

void MainQueue::schedule(double seconds, std::shared_ptr<std::atomic<bool>> cancelled, Work work) {
    if (!(seconds > 0)) seconds = 0;  // also NaN
    if (seconds > 1e9) seconds = 1e9;
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(seconds));
    {
        std::lock_guard lock(mutex_);
        timed_.push(Timed{deadline, ++sequence_, std::move(cancelled),
                          std::make_shared<Work>(std::move(work))});
    }
    wake();
}

void MainQueue::bindToCurrentThread() { boundThread_.store(std::this_thread::get_id()); }

void MainQueue::unbindThread() { boundThread_.store(std::thread::id()); }

bool MainQueue::isBoundThread() const { return boundThread_.load() == std::this_thread::get_id(); }

bool MainQueue::hasBoundThread() const { return boundThread_.load() != std::thread::id(); }

void MainQueue::bindIfUnbound() {
    std::thread::id none;
    boundThread_.compare_exchange_strong(none, std::this_thread::get_id());
}

void MainQueue::setWakeHandler(std::function<void()> handler) {
    {
        std::lock_guard lock(wakeMutex_);
        wakeHandler_ = std::move(handler);
    }
    wake();
}

void MainQueue::wake() {
    {
        std::lock_guard lock(mutex_);
        ++interrupts_;
    }
    condition_.notify_all();
    std::lock_guard lock(wakeMutex_);
    if (!wakeHandler_) return;
    // A copy, in case the handler replaces itself.
    const std::function<void()> handler = wakeHandler_;
    handler();
}

void MainQueue::interrupt() {
    {
        std::lock_guard lock(mutex_);
        ++interrupts_;
    }
    condition_.notify_all();
}

size_t MainQueue::runPending() {
    bindIfUnbound();
    std::deque<Work> batch;
    {
        std::lock_guard lock(mutex_);
        const auto now = Clock::now();
        // Delayed work that is due joins the batch after the immediate work
        // posted before it became due; both keep their own order.
        batch.swap(immediate_);
        while (!timed_.empty() && timed_.top().deadline <= now) {
            Timed item = timed_.top();
            timed_.pop();
            if (item.cancelled->load()) continue;
            auto cancelled = item.cancelled;
            auto work = item.work;
            batch.push_back([cancelled, work] {
                // Cancelled after it became due but before it ran.
                if (!cancelled->load()) (*work)();
            });
        }
        while (!timed_.empty() && timed_.top().cancelled->load()) timed_.pop();
    }
    size_t ran = 0;
    for (auto& work : batch) {
        try {
            work();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "main queue work threw: %s\n", error.what());
        } catch (...) {
            std::fprintf(stderr, "main queue work threw\n");
        }
        ++ran;
    }
    return ran;
}

bool MainQueue::hasImmediateWork() const {
    std::lock_guard lock(mutex_);
    return !immediate_.empty();
}

std::optional<MainQueue::Clock::time_point> MainQueue::nextDeadline() const {
    std::lock_guard lock(mutex_);
    // The heap cannot be searched cheaply; a cancelled head only makes a
    // loop wake early and find nothing, which is harmless.
    if (timed_.empty()) return std::nullopt;
    return timed_.top().deadline;
}

size_t MainQueue::pendingCount() const {
    std::lock_guard lock(mutex_);
    size_t count = immediate_.size();
    auto copy = timed_;
    while (!copy.empty()) {
        if (!copy.top().cancelled->load()) ++count;
        copy.pop();
    }
    return count;
}

void MainQueue::waitForWork(Clock::time_point until) {
    std::unique_lock lock(mutex_);
    const uint64_t seen = interrupts_;
    auto ready = [&] {
        if (!immediate_.empty() || quitRequested_ || interrupts_ != seen) return true;
        return !timed_.empty() && timed_.top().deadline <= Clock::now();
    };
    while (!ready()) {
        auto wakeAt = until;
        if (!timed_.empty() && timed_.top().deadline < wakeAt) wakeAt = timed_.top().deadline;
        if (Clock::now() >= until) return;
        condition_.wait_until(lock, wakeAt);
    }
}

void MainQueue::requestQuit() {
    // Queued like any work, so results posted just before still show.
    enqueue([this] {
        std::lock_guard lock(mutex_);
        quitRequested_ = true;
    });
}

bool MainQueue::takeQuitRequest() {
    std::lock_guard lock(mutex_);
    return std::exchange(quitRequested_, false);
}

}  // namespace platform
