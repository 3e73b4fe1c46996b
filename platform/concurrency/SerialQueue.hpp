#pragma once

#include <functional>
#include <future>
#include <memory>
#include <stdexcept>
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
    // Runs everything already queued, then stops the thread. Destroyed by
    // its own work, it lets that thread finish the queue on its own.
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& label() const { return label_; }

    // Queues work and returns at once; dropped once destruction has begun.
    // A throwing item is reported on stderr.
    void async(std::function<void()> work);

    // Runs fn on the queue after the work queued before it and returns its
    // result (or rethrows). Called from the queue's own work, it runs inline.
    // Throws std::runtime_error once destruction has begun.
    template <class F>
    std::invoke_result_t<F&> sync(F&& fn) {
        using R = std::invoke_result_t<F&>;
        if (isCurrent()) return fn();
        std::packaged_task<R()> task(std::forward<F>(fn));
        std::future<R> result = task.get_future();
        if (!push([&task] { task(); })) throw std::runtime_error(label_ + ": queue is stopping");
        return result.get();
    }

    // Returns once everything queued before the call has run.
    void waitUntilIdle();

    // True inside work run by this queue.
    bool isCurrent() const;

private:
    struct State;
    // False (work dropped) once stopping.
    bool push(std::function<void()> work);
    static void loop(const std::shared_ptr<State>& state);

    std::string label_;
    // Shared with the thread, which may outlive this object.
    std::shared_ptr<State> state_;
};

}  // namespace platform
