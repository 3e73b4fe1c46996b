#include "platform/concurrency/SerialQueue.hpp"

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <exception>
#include <mutex>

namespace platform {

struct SerialQueue::State {
    std::string label;
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<std::function<void()>> queue;
    uint64_t queued = 0;
    uint64_t finished = 0;
    bool stopping = false;
    std::thread thread;
    std::thread::id threadId;
};

SerialQueue::SerialQueue(std::string label)
    : label_(std::move(label)), state_(std::make_shared<State>()) {
    state_->label = label_;
}

SerialQueue::~SerialQueue() {
    std::thread thread;
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        thread = std::move(state_->thread);
    }
    state_->wake.notify_all();
    if (thread.joinable()) {
        if (thread.get_id() == std::this_thread::get_id())
            thread.detach();  // destroyed by its own work: cannot join itself
        else
            thread.join();
    }
}

void SerialQueue::async(std::function<void()> work) { push(std::move(work)); }

bool SerialQueue::push(std::function<void()> work) {
    if (!work) return true;
    {
        std::lock_guard lock(state_->mutex);
        if (state_->stopping) return false;
        state_->queue.push_back(std::move(work));
        ++state_->queued;
        if (!state_->thread.joinable() && state_->threadId == std::thread::id()) {
            state_->thread = std::thread([state = state_] { loop(state); });
            state_->threadId = state_->thread.get_id();
        }
    }
    state_->wake.notify_one();
    return true;
}

void SerialQueue::waitUntilIdle() {
    std::unique_lock lock(state_->mutex);
    if (state_->threadId == std::this_thread::get_id()) return;  // would wait on itself
    const uint64_t target = state_->queued;
    state_->idle.wait(lock, [&] { return state_->finished >= target; });
}

bool SerialQueue::isCurrent() const {
    std::lock_guard lock(state_->mutex);
    return state_->threadId == std::this_thread::get_id();
}

void SerialQueue::loop(const std::shared_ptr<State>& state) {
    std::unique_lock lock(state->mutex);
    while (true) {
        state->wake.wait(lock, [&] { return state->stopping || !state->queue.empty(); });
        if (state->queue.empty()) return;  // stopping and drained
        std::function<void()> work = std::move(state->queue.front());
        state->queue.pop_front();
        lock.unlock();
        try {
            work();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s: work threw: %s\n", state->label.c_str(), error.what());
        } catch (...) {
            std::fprintf(stderr, "%s: work threw\n", state->label.c_str());
        }
        work = nullptr;
        lock.lock();
        ++state->finished;
        state->idle.notify_all();
    }
}

}  // namespace platform
