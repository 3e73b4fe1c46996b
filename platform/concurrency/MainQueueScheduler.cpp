#include "platform/concurrency/Scheduler.hpp"

#include "platform/concurrency/MainQueue.hpp"
#include "platform/concurrency/Task.hpp"

#include <thread>

namespace platform {
namespace {

TimerHandle queued(double seconds, Scheduler::Work work, bool repeating) {
    CancelHandle handle = repeating ? MainQueue::postEvery(seconds, std::move(work))
                                    : MainQueue::postAfter(seconds, std::move(work));
    return TimerHandle([handle] { handle.cancel(); });
}

}  // namespace

void MainQueueScheduler::post(Work work) { MainQueue::post(std::move(work)); }

TimerHandle MainQueueScheduler::after(double seconds, Work work) {
    return queued(seconds, std::move(work), false);
}

TimerHandle MainQueueScheduler::every(double seconds, Work work) {
    return queued(seconds, std::move(work), true);
}

void MainQueueScheduler::background(Work job) { std::thread(std::move(job)).detach(); }

bool MainQueueScheduler::sleep(double seconds, std::stop_token stop) { return Task::sleep(seconds, std::move(stop)); }

Date MainQueueScheduler::now() { return platform::now(); }

Scheduler::MonotonicClock::time_point MainQueueScheduler::uptime() { return MonotonicClock::now(); }

std::shared_ptr<Scheduler> MainQueueScheduler::shared() {
    static const std::shared_ptr<Scheduler> scheduler = std::make_shared<MainQueueScheduler>();
    return scheduler;
}

}  // namespace platform
