#pragma once

#include <atomic>

#include <QObject>
#include <QTimer>

#include "platform/concurrency/MainQueue.hpp"

namespace Parlox {

// Lets the Qt event loop run the main queue's work: the GUI thread becomes
// the queue's main thread, posted work runs on the next turn of the loop
// and delayed work when its deadline comes.
class QtMainQueue : public QObject {
public:
    explicit QtMainQueue(platform::MainQueue& queue = platform::MainQueue::shared(), QObject* parent = nullptr);
    ~QtMainQueue() override;

private:
    void schedulePump();
    void pump();

    platform::MainQueue& queue_;
    QTimer deadline_;
    std::atomic<bool> pumpScheduled_{false};
};

}  // namespace Parlox
