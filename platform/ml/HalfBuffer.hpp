#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace platform::ml {

// Float16 bits for weights that live as long as a model: mapped on their own
// (not carved from the heap, where the float32 buffers freed while loading
// would leave holes the process keeps), and uninitialised. Large ones start
// on a huge page: a stream over them then misses the TLB once per 2 MB
// instead of once per 4 KB.
class HalfBuffer {
public:
    HalfBuffer() = default;
    explicit HalfBuffer(size_t count);

    uint16_t* data() { return data_.get(); }
    const uint16_t* data() const { return data_.get(); }
    size_t size() const { return count_; }

private:
    struct Unmap {
        size_t length;
        void operator()(uint16_t* p) const;
    };
    std::unique_ptr<uint16_t, Unmap> data_;
    size_t count_ = 0;
};

}  // namespace platform::ml
