#pragma once

#include <chrono>
#include <exception>
#include <future>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/concurrency/ThreadPool.hpp"
#include "platform/concurrency/WaitTime.hpp"
#include "platform/foundation/Error.hpp"

namespace platform {

// Thrown by work that noticed its stop request.
class CancellationError : public Error {
public:
    std::string description() const override { return "cancelled"; }
    std::string localizedDescription() const override { return "Cancelado"; }
};

// A handle on work started by Task: cancel (request stop), wait, result.
// Copies refer to the same work. Dropping every handle does not stop it.
template <class T>
class TaskHandle {
public:
    TaskHandle() = default;
    TaskHandle(std::stop_source stop, std::shared_future<T> future)
        : stop_(std::move(stop)), future_(std::move(future)) {}

    bool isValid() const { return future_.valid(); }
    void cancel() const { stop_.request_stop(); }
    bool isCancelled() const { return stop_.stop_requested(); }
    std::stop_token stopToken() const { return stop_.get_token(); }

    void wait() const { future_.wait(); }
    // True when the work ended within `seconds` (infinity: no limit).
    bool waitFor(double seconds) const {
        return future_.wait_for(detail::waitDuration(seconds)) == std::future_status::ready;
    }
    bool isDone() const { return waitFor(0); }

    // Waits, then gives the result (a copy, or a reference into the shared
    // state for a type that cannot be copied) or rethrows the work's exception.
    using Result = std::conditional_t<std::is_void_v<T> || !std::is_copy_constructible_v<T>,
                                      decltype(std::declval<const std::shared_future<T>&>().get()),
                                      T>;
    Result get() const { return future_.get(); }
    const std::shared_future<T>& future() const { return future_; }

private:
    std::stop_source stop_;
    std::shared_future<T> future_;
};

namespace detail {

template <class F>
using TaskResult = std::conditional_t<std::is_invocable_v<F&, std::stop_token>,
                                      std::invoke_result<F&, std::stop_token>,
                                      std::invoke_result<F&>>;

template <class F>
auto invokeWithToken(F& fn, const std::stop_token& token) {
    if constexpr (std::is_invocable_v<F&, std::stop_token>)
        return fn(token);
    else
        return fn();
}

template <class F, class Start>
auto startTask(F&& fn, Start&& start) {
    using Fn = std::decay_t<F>;
    using R = typename TaskResult<Fn>::type;
    std::stop_source stop;
    auto promise = std::make_shared<std::promise<R>>();
    std::shared_future<R> future = promise->get_future().share();
    start([fn = Fn(std::forward<F>(fn)), promise, token = stop.get_token()]() mutable {
        try {
            if constexpr (std::is_void_v<R>) {
                invokeWithToken(fn, token);
                promise->set_value();
            } else {
                promise->set_value(invokeWithToken(fn, token));
            }
        } catch (...) {
            promise->set_exception(std::current_exception());
        }
    });
    return TaskHandle<R>(std::move(stop), std::move(future));
}

}  // namespace detail

struct Task {
    // Runs fn(std::stop_token) (or fn()) on the shared pool.
    template <class F>
    static auto run(F&& fn) {
        return runOn(ThreadPool::shared(), std::forward<F>(fn));
    }

    template <class F>
    static auto runOn(ThreadPool& pool, F&& fn) {
        return detail::startTask(std::forward<F>(fn),
                                 [&pool](auto job) { pool.submit(std::move(job)); });
    }

    // Runs fn on a thread of its own, for work that waits on nested tasks.
    template <class F>
    static auto runOnThread(F&& fn) {
        return detail::startTask(std::forward<F>(fn), [](auto job) {
            std::thread(std::move(job)).detach();
        });
    }

    // Sleeps up to `seconds`; returns false when stop was requested first.
    static bool sleep(double seconds, std::stop_token token = {});

    // Throws CancellationError when stop was requested.
    static void checkCancellation(const std::stop_token& token) {
        if (token.stop_requested()) throw CancellationError();
    }

    // The results in input order; rethrows the first failure in that order.
    template <class T>
    static std::vector<T> collect(const std::vector<TaskHandle<T>>& tasks) {
        std::vector<T> results;
        results.reserve(tasks.size());
        for (const auto& task : tasks) results.push_back(task.get());
        return results;
    }
};

}  // namespace platform
