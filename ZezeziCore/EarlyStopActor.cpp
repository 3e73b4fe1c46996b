#include "ZezeziCore/EarlyStopActor.hpp"

#include "platform/concurrency/UsableCores.hpp"

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

int ConcurrencyUtilities::activeProcessorCount() { return static_cast<int>(platform::usableCoreCount()); }

}  // namespace ZezeziCore
