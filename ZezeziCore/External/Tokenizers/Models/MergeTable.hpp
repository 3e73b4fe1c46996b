#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Tokenizers {

// The merges of a byte-pair model by the symbol ids of their two parts, in
// one flat array probed in place (a lookup touches one or two cache lines).
class MergeTable {
public:
    struct Merge {
        int32_t rank;
        int32_t merged;  // symbol id of the joined pair
    };

    void reserve(std::size_t merges);
    // A pair seen again takes the later merge.
    void insertOrAssign(int32_t left, int32_t right, Merge merge);
    const Merge* find(int32_t left, int32_t right) const;
    std::size_t size() const { return size_; }

private:
    struct Slot {
        uint64_t key = kEmpty;
        Merge merge{};
    };
    static constexpr uint64_t kEmpty = ~uint64_t{0};

    static uint64_t keyOf(int32_t left, int32_t right) {
        return (static_cast<uint64_t>(static_cast<uint32_t>(left)) << 32) | static_cast<uint32_t>(right);
    }
    // The top bits of the product: they depend on every bit of both ids.
    std::size_t indexOf(uint64_t key) const { return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> shift_); }
    void grow();

    std::vector<Slot> slots_;
    std::size_t size_ = 0;
    unsigned shift_ = 64;  // 64 - log2 of the slot count
};

}  // namespace Tokenizers
