#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace platform::ml {

// A 64-byte aligned float buffer.
class FloatBuffer {
public:
    FloatBuffer() = default;
    explicit FloatBuffer(size_t count, bool zero = true) : count_(count) {
        if (count == 0) return;
        const size_t bytes = ((count * sizeof(float) + 63) / 64) * 64;
        data_.reset(static_cast<float*>(std::aligned_alloc(64, bytes)));
        if (!data_) throw std::bad_alloc();
        if (zero) std::memset(data_.get(), 0, bytes);
    }
    float* data() { return data_.get(); }
    const float* data() const { return data_.get(); }
    size_t size() const { return count_; }
    float& operator[](size_t i) { return data_.get()[i]; }
    const float& operator[](size_t i) const { return data_.get()[i]; }
    bool empty() const { return count_ == 0; }

private:
    struct Free {
        void operator()(float* p) const { std::free(p); }
    };
    std::unique_ptr<float, Free> data_;
    size_t count_ = 0;
};

}  // namespace platform::ml
