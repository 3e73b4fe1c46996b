#include "platform/ml/HalfBatchMatrix.hpp"

#include <algorithm>

#include "platform/ml/Blas.hpp"
#include "platform/ml/Half.hpp"
#include "platform/ml/Parallel.hpp"

namespace platform::ml {

namespace {

// Columns widened at a time: a slice of a block's rows stays in the core's
// own cache between widening and multiplying.
constexpr int64_t kSliceColumns = 512;

int I(int64_t v) { return static_cast<int>(v); }

// A thread's float32 slice, kept between products.
float* sliceBuffer(size_t count) {
    thread_local FloatBuffer buffer;
    if (buffer.size() < count) buffer = FloatBuffer(count, false);
    return buffer.data();
}

}  // namespace

HalfBatchMatrix::HalfBatchMatrix(int64_t rows, int64_t cols)
    : data_(static_cast<size_t>(rows * cols)), rows_(rows), cols_(cols) {}

HalfBatchMatrix::HalfBatchMatrix(const float* values, int64_t rows, int64_t cols) : HalfBatchMatrix(rows, cols) {
    setRows(0, values, rows);
}

void HalfBatchMatrix::setRows(int64_t first, const float* values, int64_t count) {
    uint16_t* out = data_.data() + first * cols_;
    parallelFor(count, std::max<int64_t>(1, (int64_t{1} << 16) / std::max<int64_t>(cols_, 1)), [&](int64_t b, int64_t e) {
        floatsToHalves(values + b * cols_, out + b * cols_, static_cast<size_t>((e - b) * cols_));
    });
}

void HalfBatchMatrix::multiply(int64_t m, const float* a, int64_t lda, float* c, int64_t ldc, bool accumulate) const {
    blas::forEachProductBlock(I(m), I(rows_), I(cols_), [&](int r0, int r1, int c0, int c1) {
        const int64_t n = c1 - c0;
        float* slice = sliceBuffer(static_cast<size_t>(n * std::min(cols_, kSliceColumns)));
        for (int64_t k0 = 0; k0 < cols_; k0 += kSliceColumns) {
            const int64_t k = std::min(kSliceColumns, cols_ - k0);
            for (int64_t j = 0; j < n; ++j) {
                halvesToFloats(data_.data() + (c0 + j) * cols_ + k0, slice + j * k, static_cast<size_t>(k));
            }
            const float beta = accumulate || k0 > 0 ? 1.0f : 0.0f;
            blas::sgemm(false, true, r1 - r0, I(n), I(k), 1.0f, a + r0 * lda + k0, I(lda), slice, I(k), beta,
                        c + r0 * ldc + c0, I(ldc));
        }
    });
}

}  // namespace platform::ml
