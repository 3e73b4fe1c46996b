#include "ZezeziCore/External/Tokenizers/Models/WordIdCache.hpp"

#include <cstring>
#include <limits>

namespace Tokenizers {

WordIdCache::WordIdCache(std::size_t slots) : slots_(std::max<std::size_t>(slots, 2)), mask_(slots_.size() / 2 - 1) {
    // A power of two, so that a pair is picked by masking the hash.
    while ((mask_ & (mask_ + 1)) != 0) mask_ &= mask_ - 1;
}

// Words are short: eight bytes at a time, multiplied and folded.
uint64_t WordIdCache::hashOf(std::string_view word) {
    constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
    uint64_t h = word.size() * kMultiplier;
    std::size_t i = 0;
    for (; i + 8 <= word.size(); i += 8) {
        uint64_t block;
        std::memcpy(&block, word.data() + i, 8);
        h = (h ^ block) * kMultiplier;
        h ^= h >> 29;
    }
    uint64_t tail = 0;
    std::memcpy(&tail, word.data() + i, word.size() - i);
    h = (h ^ tail) * kMultiplier;
    h ^= h >> 32;
    return h * kMultiplier;
}

bool WordIdCache::find(std::string_view word, std::vector<int64_t>& ids) const {
    if (word.empty() || word.size() > kMaxWordBytes) return false;
    const uint64_t hash = hashOf(word);
    const std::size_t pair = pairOf(hash);
    const uint32_t tag = static_cast<uint32_t>(hash >> 32);
    std::lock_guard lock(lockFor(pair));
    for (std::size_t i = 2 * pair; i < 2 * pair + 2; ++i) {
        const Slot& slot = slots_[i];
        if (slot.hash != tag || slot.length != word.size() || std::memcmp(slot.word, word.data(), word.size()) != 0)
            continue;
        ids.insert(ids.end(), slot.ids, slot.ids + slot.count);
        return true;
    }
    return false;
}

void WordIdCache::insert(std::string_view word, const int64_t* ids, std::size_t count) {
    if (word.empty() || word.size() > kMaxWordBytes || count > kMaxIds) return;
    for (std::size_t k = 0; k < count; ++k)
        if (ids[k] < 0 || ids[k] > std::numeric_limits<int32_t>::max()) return;
    const uint64_t hash = hashOf(word);
    const std::size_t pair = pairOf(hash);
    std::lock_guard lock(lockFor(pair));
    Slot& first = slots_[2 * pair];
    Slot& second = slots_[2 * pair + 1];
    // The empty slot, else the one written before the other.
    Slot& slot = first.length == 0 ? first : second.length == 0 ? second : (first.age < second.age ? first : second);
    slot.hash = static_cast<uint32_t>(hash >> 32);
    slot.length = static_cast<uint8_t>(word.size());
    slot.count = static_cast<uint8_t>(count);
    std::memcpy(slot.word, word.data(), word.size());
    for (std::size_t k = 0; k < count; ++k) slot.ids[k] = static_cast<int32_t>(ids[k]);
    Slot& other = &slot == &first ? second : first;
    slot.age = 1;
    other.age = 0;
}

}  // namespace Tokenizers
