#include "platform/ml/HalfMatrix.hpp"

// GCC 12 warns inside its own AVX-512 conversion intrinsics.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include <algorithm>
#include <immintrin.h>
#include <vector>

#include "platform/ml/CpuFeatures.hpp"

#include "platform/ml/Half.hpp"
#include "platform/ml/Parallel.hpp"

namespace platform::ml {

namespace {

constexpr int64_t kBlock = 16;


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

// Panel kernels: `w` is the first of the panels holding `rows` rows (the
// last panel may be partly padding); see HalfMatrix::offset().
using PanelKernel = void (*)(const uint16_t* w, int64_t cols, const float* x, float* y, int64_t rows, bool accumulate);

inline void finishPanel(const uint16_t* p, int64_t cols, const float* x, float* s, float* y, int64_t left,
                        bool accumulate) {
    const int64_t vec = cols / kBlock * kBlock, tail = cols - vec;
    for (int64_t k = 0; k < 4 && k < left; ++k) {
        for (int64_t j = 0; j < tail; ++j) s[k] += halfToFloat(p[4 * vec + k * tail + j]) * x[vec + j];
        y[k] = accumulate ? y[k] + s[k] : s[k];
    }
}

void panelsPlain(const uint16_t* w, int64_t cols, const float* x, float* y, int64_t rows, bool accumulate) {
    const int64_t vec = cols / kBlock * kBlock;
    for (int64_t r = 0; r < rows; r += 4) {
        const uint16_t* p = w + r * cols;
        float s[4] = {0, 0, 0, 0};
        for (int64_t j = 0; j < vec; j += kBlock) {
            for (int k = 0; k < 4; ++k) {
                for (int64_t i = 0; i < kBlock; ++i) s[k] += halfToFloat(p[4 * j + k * kBlock + i]) * x[j + i];
            }
        }
        finishPanel(p, cols, x, s, y + r, rows - r, accumulate);
    }
}

__attribute__((target("avx2,fma,f16c"))) void panelsAvx2(const uint16_t* w, int64_t cols, const float* x, float* y,
                                                         int64_t rows, bool accumulate) {
    const int64_t vec = cols / kBlock * kBlock;
    for (int64_t r = 0; r < rows; r += 4) {
        const uint16_t* p = w + r * cols;
        __m256 a0 = _mm256_setzero_ps(), a1 = _mm256_setzero_ps(), a2 = _mm256_setzero_ps(), a3 = _mm256_setzero_ps();
        for (int64_t j = 0; j < vec; j += kBlock) {
            const __m256 xl = _mm256_loadu_ps(x + j), xh = _mm256_loadu_ps(x + j + 8);
            const auto* b = reinterpret_cast<const __m128i*>(p + 4 * j);
            a0 = _mm256_fmadd_ps(_mm256_cvtph_ps(_mm_loadu_si128(b + 0)), xl, a0);
            a0 = _mm256_fmadd_ps(_mm256_cvtph_ps(_mm_loadu_si128(b + 1)), xh, a0);
            a1 = _mm256_fmadd_ps(_mm256_cvtph_ps(_mm_loadu_si128(b + 2)), xl, a1);
            a1 = _mm256_fmadd_ps(_mm256_cvtph_ps(_mm_loadu_si128(b + 3)), xh, a1);
            a2 = _mm256_fmadd_ps(_mm256_cvtph_ps(_mm_loadu_si128(b + 4)), xl, a2);
            a2 = _mm256_fmadd_ps(_mm256_cvtph_ps(_mm_loadu_si128(b + 5)), xh, a2);
            a3 = _mm256_fmadd_ps(_mm256_cvtph_ps(_mm_loadu_si128(b + 6)), xl, a3);
            a3 = _mm256_fmadd_ps(_mm256_cvtph_ps(_mm_loadu_si128(b + 7)), xh, a3);
        }
        alignas(32) float t[4][8];
        _mm256_store_ps(t[0], a0);
        _mm256_store_ps(t[1], a1);
        _mm256_store_ps(t[2], a2);
        _mm256_store_ps(t[3], a3);
        float s[4];
        for (int k = 0; k < 4; ++k) s[k] = t[k][0] + t[k][1] + t[k][2] + t[k][3] + t[k][4] + t[k][5] + t[k][6] + t[k][7];
        finishPanel(p, cols, x, s, y + r, rows - r, accumulate);
    }
}

__attribute__((target("avx512f"))) void panelsAvx512(const uint16_t* w, int64_t cols, const float* x, float* y,
                                                     int64_t rows, bool accumulate) {
    const int64_t vec = cols / kBlock * kBlock;
    for (int64_t r = 0; r < rows; r += 4) {
        const uint16_t* p = w + r * cols;
        __m512 a0 = _mm512_setzero_ps(), a1 = _mm512_setzero_ps(), a2 = _mm512_setzero_ps(), a3 = _mm512_setzero_ps();
        for (int64_t j = 0; j < vec; j += kBlock) {
            const __m512 xv = _mm512_loadu_ps(x + j);
            const auto* b = reinterpret_cast<const __m256i*>(p + 4 * j);
            a0 = _mm512_fmadd_ps(_mm512_cvtph_ps(_mm256_loadu_si256(b + 0)), xv, a0);
            a1 = _mm512_fmadd_ps(_mm512_cvtph_ps(_mm256_loadu_si256(b + 1)), xv, a1);
            a2 = _mm512_fmadd_ps(_mm512_cvtph_ps(_mm256_loadu_si256(b + 2)), xv, a2);
            a3 = _mm512_fmadd_ps(_mm512_cvtph_ps(_mm256_loadu_si256(b + 3)), xv, a3);
        }
        float s[4] = {_mm512_reduce_add_ps(a0), _mm512_reduce_add_ps(a1), _mm512_reduce_add_ps(a2),
                      _mm512_reduce_add_ps(a3)};
        finishPanel(p, cols, x, s, y + r, rows - r, accumulate);
    }
}

struct Kernels {
    RowsKernel rows;
    PanelKernel panels;
};

Kernels pickKernels() {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return {rowsAvx512, panelsAvx512};
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") && cpuHasF16C())
        return {rowsAvx2, panelsAvx2};
    return {rowsPlain, panelsPlain};
}

const Kernels& kernels() {
    static const Kernels k = pickKernels();
    return k;
}

}  // namespace

size_t HalfMatrix::offset(int64_t r, int64_t c) const {
    const int64_t vec = cols_ / kBlock * kBlock, tail = cols_ - vec;
    const int64_t panel = (r / 4) * 4 * cols_, k = r % 4;
    const int64_t at = c < vec ? (c / kBlock) * 4 * kBlock + k * kBlock + c % kBlock : 4 * vec + k * tail + (c - vec);
    return static_cast<size_t>(panel + at);
}

HalfMatrix::HalfMatrix(const FloatBuffer& values, int64_t rows, int64_t cols) : rows_(rows), cols_(cols) {
    const size_t n = static_cast<size_t>((rows + 3) / 4 * 4 * cols);  // whole panels
    data_ = HalfBuffer(n);
    std::fill_n(data_.data() + (n - static_cast<size_t>(4 * cols)), 4 * cols, uint16_t{0});
    parallelFor(rows, std::max<int64_t>(4, (int64_t{1} << 16) / std::max<int64_t>(cols, 1)), [&](int64_t b, int64_t e) {
        std::vector<uint16_t> row(static_cast<size_t>(cols));
        const int64_t vec = cols / kBlock * kBlock;
        for (int64_t r = b; r < e; ++r) {
            floatsToHalves(values.data() + r * cols, row.data(), row.size());
            for (int64_t c = 0; c < vec; c += kBlock) std::copy_n(row.data() + c, kBlock, data_.data() + offset(r, c));
            if (vec < cols) std::copy(row.begin() + vec, row.end(), data_.data() + offset(r, vec));
        }
    });
}

void HalfMatrix::rowToFloats(int64_t r, float* out) const {
    for (int64_t c = 0; c < cols_; ++c) out[c] = halfToFloat(data_.data()[offset(r, c)]);
}

void HalfMatrix::multiplyRows(const uint16_t* w, int64_t rows, int64_t cols, const float* x, float* y,
                              bool accumulate) {
    kernels().rows(w, cols, x, y, rows, accumulate);
}

void HalfMatrix::multiply(const float* x, float* y, bool accumulate) const {
    // Weights come from memory, not cache: even small products go faster on
    // all cores. Parts of at least 32 KB, a few per thread, taken as threads
    // come free (one late thread must not hold up the rest).
    const auto panels = kernels().panels;
    const int64_t parts = std::min<int64_t>(4 * workerCount(), static_cast<int64_t>(bytes() >> 15));
    if (parts <= 1) {
        panels(data_.data(), cols_, x, y, rows_, accumulate);
        return;
    }
    const int64_t rowsPerPart = ((rows_ + parts - 1) / parts + 3) / 4 * 4;
    parallelFor((rows_ + rowsPerPart - 1) / rowsPerPart, 1, [&](int64_t b, int64_t e) {
        const int64_t r0 = b * rowsPerPart, r1 = std::min(rows_, e * rowsPerPart);
        panels(data_.data() + r0 * cols_, cols_, x, y + r0, r1 - r0, accumulate);
    });
}

}  // namespace platform::ml
