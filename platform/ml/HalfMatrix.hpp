#pragma once

#include <cstdint>

#include "platform/ml/AlignedBuffer.hpp"
#include "platform/ml/HalfBuffer.hpp"

namespace platform::ml {

// A matrix of float16 weights: half the bytes of float32 for the products
// that read every weight once per call (decoder steps). Rows are stored in
// panels of four, interleaved in blocks of 16 columns, so that a product
// reads the whole matrix as one sequential stream.
class HalfMatrix {
public:
    HalfMatrix() = default;
    HalfMatrix(const FloatBuffer& values, int64_t rows, int64_t cols);

    int64_t rows() const { return rows_; }
    int64_t cols() const { return cols_; }
    size_t bytes() const { return static_cast<size_t>(rows_ * cols_) * 2; }
    void rowToFloats(int64_t r, float* out) const;

    // y[rows] = W x (+ y when accumulate), split over the shared pool.
    void multiply(const float* x, float* y, bool accumulate) const;

    // The same on the calling thread, for a raw row-major [rows x cols] block.
    static void multiplyRows(const uint16_t* w, int64_t rows, int64_t cols, const float* x, float* y, bool accumulate);

private:
    size_t offset(int64_t r, int64_t c) const;
    HalfBuffer data_;
    int64_t rows_ = 0, cols_ = 0;
};

}  // namespace platform::ml
