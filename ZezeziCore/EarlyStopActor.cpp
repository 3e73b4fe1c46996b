#include "ZezeziCore/EarlyStopActor.hpp"

#include <sched.h>
#include <unistd.h>

namespace ZezeziCore {

void EarlyStopActor::set(bool value, const platform::UUID& id) {
    std::lock_guard lock(mutex_);
    shouldStop_[id] = value;
}

bool EarlyStopActor::get(const platform::UUID& id) const {
    std::lock_guard lock(mutex_);
    auto it = shouldStop_.find(id);
    return it != shouldStop_.end() && it->second;
}

std::optional<bool> EarlyStopActor::remove(const platform::UUID& id) {
    std::lock_guard lock(mutex_);
    auto it = shouldStop_.find(id);
    if (it == shouldStop_.end()) return std::nullopt;
    bool value = it->second;
    shouldStop_.erase(it);
    return value;
}

size_t EarlyStopActor::count() const {
    std::lock_guard lock(mutex_);
    return shouldStop_.size();
}

int ConcurrencyUtilities::activeProcessorCount() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        int n = CPU_COUNT(&set);
        if (n > 0) return n;
    }
    long n = ::sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

}  // namespace ZezeziCore
