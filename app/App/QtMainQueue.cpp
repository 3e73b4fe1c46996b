#include "app/App/QtMainQueue.hpp"

#include <chrono>

namespace Parlox {

QtMainQueue::QtMainQueue(platform::MainQueue& queue, QObject* parent) : QObject(parent), queue_(queue) {
    queue_.bindToCurrentThread();
    deadline_.setSingleShot(true);
    deadline_.setTimerType(Qt::PreciseTimer);
    connect(&deadline_, &QTimer::timeout, this, &QtMainQueue::pump);
    // Called on any thread; only asks the loop for one pump at a time.
    queue_.setWakeHandler([this] { schedulePump(); });
}

QtMainQueue::~QtMainQueue() {
    queue_.setWakeHandler({});
    queue_.unbindThread();
}

void QtMainQueue::schedulePump() {
    if (pumpScheduled_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            pumpScheduled_ = false;
            pump();
        },
        Qt::QueuedConnection);
}

void QtMainQueue::pump() {
    queue_.runPending();
    if (queue_.hasImmediateWork()) schedulePump();
    if (const auto next = queue_.nextDeadline()) {
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - platform::MainQueue::Clock::now());
        deadline_.start(int(std::max<long long>(0, std::min<long long>(wait.count(), 1 << 30))));
    } else {
        deadline_.stop();
    }
}

}  // namespace Parlox
