#include "ZezeziCore/External/Hub/Progress.hpp"

#include <algorithm>

namespace Hub {

int64_t Progress::totalUnitCount() const {
    std::lock_guard lock(mutex_);
    return total_;
}

void Progress::setTotalUnitCount(int64_t total) {
    std::lock_guard lock(mutex_);
    total_ = total;
}

int64_t Progress::completedUnitCount() const {
    std::lock_guard lock(mutex_);
    return completed_;
}

void Progress::setCompletedUnitCount(int64_t completed) {
    std::lock_guard lock(mutex_);
    completed_ = completed;
}

void Progress::addChild(std::shared_ptr<Progress> child, int64_t pendingUnitCount) {
    std::lock_guard lock(mutex_);
    children_.push_back({std::move(child), pendingUnitCount});
}

double Progress::fractionCompleted() const {
    std::vector<Child> children;
    int64_t total, completed;
    {
        std::lock_guard lock(mutex_);
        children = children_;
        total = total_;
        completed = completed_;
    }
    if (total <= 0) return 0;
    double done = static_cast<double>(completed);
    for (const auto& c : children) done += static_cast<double>(c.pending) * std::clamp(c.progress->fractionCompleted(), 0.0, 1.0);
    return std::clamp(done / static_cast<double>(total), 0.0, 1.0);
}

std::optional<double> Progress::throughput() const {
    std::lock_guard lock(mutex_);
    return throughput_;
}

void Progress::setThroughput(double bytesPerSecond) {
    std::lock_guard lock(mutex_);
    throughput_ = bytesPerSecond;
}

}  // namespace Hub
