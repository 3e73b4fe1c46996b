#pragma once

#include <mutex>
#include <optional>
#include <unordered_map>

#include "platform/foundation/UUID.hpp"

namespace ZezeziCore {

// One early-stop flag per decoding window, keyed by the window's id.
class EarlyStopActor {
public:
    void set(bool value, const platform::UUID& id);
    // False when the id has no entry (none is created).
    bool get(const platform::UUID& id) const;
    // Removes the entry and returns its flag.
    std::optional<bool> remove(const platform::UUID& id);
    size_t count() const;

private:
    mutable std::mutex mutex_;
    std::unordered_map<platform::UUID, bool> shouldStop_;
};

struct ConcurrencyUtilities {
    // Processors this process may run on, read anew at every call.
    static int activeProcessorCount();
};

}  // namespace ZezeziCore
