#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <vector>

namespace Tokenizers {

// The token ids of recently seen words, each kept whole in one cache line:
// a lookup touches one line, not a chain of nodes. Words longer than
// kMaxWordBytes or with more than kMaxIds tokens are not kept. Two slots per
// hash; a new word replaces the older of the two. Safe from any thread.
class WordIdCache {
public:
    static constexpr std::size_t kMaxWordBytes = 22;
    static constexpr std::size_t kMaxIds = 8;

    explicit WordIdCache(std::size_t slots = std::size_t{1} << 16);

    // Appends the word's ids to `ids`; false (nothing appended) when absent.
    bool find(std::string_view word, std::vector<int64_t>& ids) const;
    // Keeps the word's ids; a word or ids that do not fit are left out.
    void insert(std::string_view word, const int64_t* ids, std::size_t count);

private:
    struct alignas(64) Slot {
        uint32_t hash = 0;
        uint8_t length = 0;  // 0: empty
        uint8_t count = 0;
        uint8_t age = 0;     // which of a pair was written last
        char word[kMaxWordBytes + 3] = {};
        int32_t ids[kMaxIds] = {};
    };
    static_assert(sizeof(Slot) == 64);

    static uint64_t hashOf(std::string_view word);
    std::size_t pairOf(uint64_t hash) const { return static_cast<std::size_t>(hash) & mask_; }
    std::mutex& lockFor(std::size_t pair) const { return locks_[pair % locks_.size()]; }

    std::vector<Slot> slots_;  // pairs at 2i, 2i + 1
    std::size_t mask_;
    mutable std::array<std::mutex, 64> locks_;
};

}  // namespace Tokenizers
