#include "platform/ml/HalfMatrix.hpp"

// GCC 12 warns inside its own AVX-512 conversion intrinsics.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include <algorithm>
#include <immintrin.h>
#include <new>

#include "platform/ml/Half.hpp"
#include "platform/ml/Parallel.hpp"

namespace platform::ml {

namespace {

using RowsKernel = void (*)(const uint16_t* w, int64_t cols, const float* x, float* y, int64_t rows, bool accumulate);

void rowsPlain(const uint16_t* w, int64_t cols, const float* x, float* y, int64_t rows, bool accumulate) {
    for (int64_t r = 0; r < rows; ++r) {
        float s = 0;
        for (int64_t j = 0; j < cols; ++j) s += halfToFloat(w[r * cols + j]) * x[j];
        y[r] = accumulate ? y[r] + s : s;
    }
}

__attribute__((target("avx2,fma,f16c"))) void rowsAvx2(const uint16_t* w, int64_t cols, const float* x, float* y,
                                                       int64_t rows, bool accumulate) {
    const int64_t vec = cols / 8 * 8;
    int64_t r = 0;
    for (; r + 4 <= rows; r += 4) {
        __m256 a0 = _mm256_setzero_ps(), a1 = _mm256_setzero_ps(), a2 = _mm256_setzero_ps(), a3 = _mm256_setzero_ps();
        const uint16_t* w0 = w + r * cols;
        for (int64_t j = 0; j < 4 * cols; j += 32) _mm_prefetch(reinterpret_cast<const char*>(w0 + 4 * cols + j), _MM_HINT_T0);
        for (int64_t j = 0; j < vec; j += 8) {
            const __m256 xv = _mm256_loadu_ps(x + j);
            a0 = _mm256_fmadd_ps(_mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w0 + j))), xv, a0);
            a1 = _mm256_fmadd_ps(_mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w0 + cols + j))), xv, a1);
            a2 = _mm256_fmadd_ps(_mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w0 + 2 * cols + j))), xv, a2);
            a3 = _mm256_fmadd_ps(_mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w0 + 3 * cols + j))), xv, a3);
        }
        alignas(32) float t[4][8];
        _mm256_store_ps(t[0], a0);
        _mm256_store_ps(t[1], a1);
        _mm256_store_ps(t[2], a2);
        _mm256_store_ps(t[3], a3);
        for (int k = 0; k < 4; ++k) {
            float s = t[k][0] + t[k][1] + t[k][2] + t[k][3] + t[k][4] + t[k][5] + t[k][6] + t[k][7];
            for (int64_t j = vec; j < cols; ++j) s += halfToFloat(w0[k * cols + j]) * x[j];
            y[r + k] = accumulate ? y[r + k] + s : s;
        }
    }
    if (r < rows) rowsPlain(w + r * cols, cols, x, y + r, rows - r, accumulate);
}

__attribute__((target("avx512f"))) void rowsAvx512(const uint16_t* w, int64_t cols, const float* x, float* y,
                                                   int64_t rows, bool accumulate) {
    const int64_t vec = cols / 16 * 16;
    int64_t r = 0;
    for (; r + 4 <= rows; r += 4) {
        __m512 a0 = _mm512_setzero_ps(), a1 = _mm512_setzero_ps(), a2 = _mm512_setzero_ps(), a3 = _mm512_setzero_ps();
        const uint16_t* w0 = w + r * cols;
        // The next four rows, ahead of use (prefetches never fault).
        for (int64_t j = 0; j < 4 * cols; j += 32) _mm_prefetch(reinterpret_cast<const char*>(w0 + 4 * cols + j), _MM_HINT_T0);
        for (int64_t j = 0; j < vec; j += 16) {
            const __m512 xv = _mm512_loadu_ps(x + j);
            a0 = _mm512_fmadd_ps(_mm512_cvtph_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(w0 + j))), xv, a0);
            a1 = _mm512_fmadd_ps(_mm512_cvtph_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(w0 + cols + j))), xv, a1);
            a2 = _mm512_fmadd_ps(_mm512_cvtph_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(w0 + 2 * cols + j))), xv, a2);
            a3 = _mm512_fmadd_ps(_mm512_cvtph_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(w0 + 3 * cols + j))), xv, a3);
        }
        float s[4] = {_mm512_reduce_add_ps(a0), _mm512_reduce_add_ps(a1), _mm512_reduce_add_ps(a2),
                      _mm512_reduce_add_ps(a3)};
        for (int k = 0; k < 4; ++k) {
            for (int64_t j = vec; j < cols; ++j) s[k] += halfToFloat(w0[k * cols + j]) * x[j];
            y[r + k] = accumulate ? y[r + k] + s[k] : s[k];
        }
    }
    if (r < rows) rowsPlain(w + r * cols, cols, x, y + r, rows - r, accumulate);
}

RowsKernel pickKernel() {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return rowsAvx512;
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") && __builtin_cpu_supports("f16c"))
        return rowsAvx2;
    return rowsPlain;
}

const RowsKernel& kernel() {
    static const RowsKernel k = pickKernel();
    return k;
}

}  // namespace

HalfMatrix::HalfMatrix(const FloatBuffer& values, int64_t rows, int64_t cols) : rows_(rows), cols_(cols) {
    const size_t n = static_cast<size_t>(rows * cols);
    const size_t bytes = std::max<size_t>(64, (n * 2 + 63) / 64 * 64);
    data_.reset(static_cast<uint16_t*>(std::aligned_alloc(64, bytes)));
    if (!data_) throw std::bad_alloc();
    floatsToHalves(values.data(), data_.get(), n);
}

void HalfMatrix::rowToFloats(int64_t r, float* out) const { halvesToFloats(row(r), out, static_cast<size_t>(cols_)); }

void HalfMatrix::multiplyRows(const uint16_t* w, int64_t rows, int64_t cols, const float* x, float* y,
                              bool accumulate) {
    kernel()(w, cols, x, y, rows, accumulate);
}

void HalfMatrix::multiply(const float* x, float* y, bool accumulate) const {
    if (bytes() < (size_t{1} << 20)) {  // waking other threads costs more
        kernel()(row(0), cols_, x, y, rows_, accumulate);
        return;
    }
    // Blocks of about 64 KB of weights.
    const int64_t rowsPerBlock = std::max<int64_t>(4, ((int64_t{1} << 15) / std::max<int64_t>(cols_, 1)) / 4 * 4);
    const int64_t blocks = (rows_ + rowsPerBlock - 1) / rowsPerBlock;
    parallelFor(blocks, 1, [&](int64_t b, int64_t e) {
        const int64_t r0 = b * rowsPerBlock, r1 = std::min(rows_, e * rowsPerBlock);
        kernel()(row(r0), cols_, x, y + r0, r1 - r0, accumulate);
    });
}

}  // namespace platform::ml
