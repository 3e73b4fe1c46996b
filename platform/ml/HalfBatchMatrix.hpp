#pragma once

#include <cstdint>

#include "platform/ml/AlignedBuffer.hpp"
#include "platform/ml/HalfBuffer.hpp"
#include "platform/ml/HalfPanelProduct.hpp"

namespace platform::ml {

// A matrix of float16 weights [rows x cols], for products with many input
// rows at once (the encoder's). The weights are kept in panels (see
// HalfPanels) and each block of a product widens them to float32 a stretch at
// a time in the core's cache, just before multiplying them, so they stay at
// half their float32 size in memory while the products run at float32
// precision.
class HalfBatchMatrix {
public:
    HalfBatchMatrix() = default;
    // Rows left to be set.
    HalfBatchMatrix(int64_t rows, int64_t cols);
    HalfBatchMatrix(const float* values, int64_t rows, int64_t cols);
    HalfBatchMatrix(const FloatBuffer& values, int64_t rows, int64_t cols)
        : HalfBatchMatrix(values.data(), rows, cols) {}

    // Rows [first, first + count) from float32 values, count x cols.
    void setRows(int64_t first, const float* values, int64_t count);

    int64_t rows() const { return rows_; }
    int64_t cols() const { return cols_; }
    size_t bytes() const { return data_.size() * 2; }
    HalfPanels panels() const { return {data_.data(), rows_, cols_}; }

    // c[m x rows] = a[m x cols] W^T (+ c when accumulate), split over the shared pool.
    void multiply(int64_t m, const float* a, int64_t lda, float* c, int64_t ldc, bool accumulate) const;

private:
    HalfBuffer data_;
    int64_t rows_ = 0, cols_ = 0;
};

}  // namespace platform::ml
