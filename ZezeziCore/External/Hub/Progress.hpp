#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace Hub {

// A progress tree: a parent counts each child as `pending` of its own units,
// weighted by the child's fraction. Safe to read and update from any thread.
class Progress {
public:
    explicit Progress(int64_t totalUnitCount = 0) : total_(totalUnitCount) {}

    int64_t totalUnitCount() const;
    void setTotalUnitCount(int64_t total);
    int64_t completedUnitCount() const;
    void setCompletedUnitCount(int64_t completed);

    void addChild(std::shared_ptr<Progress> child, int64_t pendingUnitCount);

    // 0 when the total is 0; a finished child counts in full.
    double fractionCompleted() const;

    std::optional<double> throughput() const;  // bytes per second
    void setThroughput(double bytesPerSecond);

private:
    struct Child {
        std::shared_ptr<Progress> progress;
        int64_t pending;
    };
    mutable std::mutex mutex_;
    int64_t total_;
    int64_t completed_ = 0;
    std::vector<Child> children_;
    std::optional<double> throughput_;
};

}  // namespace Hub
