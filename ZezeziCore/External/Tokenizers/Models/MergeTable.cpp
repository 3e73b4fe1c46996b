#include "ZezeziCore/External/Tokenizers/Models/MergeTable.hpp"

#include <utility>

namespace Tokenizers {

void MergeTable::reserve(std::size_t merges) {
    std::size_t capacity = 16;
    // At most three quarters full: probes stay short and the table small
    // enough to stay in the cache.
    while (3 * capacity < 4 * merges) capacity *= 2;
    if (capacity <= slots_.size()) return;
    std::vector<Slot> old = std::exchange(slots_, std::vector<Slot>(capacity));
    size_ = 0;
    shift_ = 64;
    for (std::size_t c = capacity; c > 1; c >>= 1) --shift_;
    for (const Slot& s : old)
        if (s.key != kEmpty) insertOrAssign(static_cast<int32_t>(s.key >> 32), static_cast<int32_t>(s.key), s.merge);
}

void MergeTable::grow() { reserve(std::max<std::size_t>(8, size_ + 1)); }

void MergeTable::insertOrAssign(int32_t left, int32_t right, Merge merge) {
    if (4 * (size_ + 1) > 3 * slots_.size()) grow();
    const uint64_t key = keyOf(left, right);
    for (std::size_t i = indexOf(key);; i = (i + 1) & (slots_.size() - 1)) {
        Slot& s = slots_[i];
        if (s.key == key) {
            s.merge = merge;
            return;
        }
        if (s.key == kEmpty) {
            s = Slot{key, merge};
            ++size_;
            return;
        }
    }
}

const MergeTable::Merge* MergeTable::find(int32_t left, int32_t right) const {
    if (slots_.empty() || left < 0 || right < 0) return nullptr;
    const uint64_t key = keyOf(left, right);
    for (std::size_t i = indexOf(key);; i = (i + 1) & (slots_.size() - 1)) {
        const Slot& s = slots_[i];
        if (s.key == key) return &s.merge;
        if (s.key == kEmpty) return nullptr;
    }
}

}  // namespace Tokenizers
