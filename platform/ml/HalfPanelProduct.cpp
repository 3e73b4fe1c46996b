#include "platform/ml/HalfPanelProduct.hpp"

// GCC 12 warns inside its own AVX-512 conversion intrinsics.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include <algorithm>
#include <immintrin.h>

#include "platform/ml/AlignedBuffer.hpp"
#include "platform/ml/Blas.hpp"
#include "platform/ml/CpuFeatures.hpp"
#include "platform/ml/Half.hpp"

namespace platform::ml {

namespace {

// Weight columns widened at a time for OpenBLAS.
constexpr int64_t kBlasSlice = 512;

// A thread's buffers, kept between products: 0 for widened weights, 1 for
// packed inputs.
float* threadBuffer(int which, size_t count) {
    thread_local FloatBuffer buffers[2];
    FloatBuffer& buffer = buffers[which];
    if (buffer.size() < count) buffer = FloatBuffer(count, false);
    return buffer.data();
}

// Register kernels: Kernel::multiply adds the product of `rows` packed input
// rows ([kc][rows]) and `cols` widened weight rows ([kc][cols]) to a tile of c
// (or stores it, when overwrite); Kernel::widen turns kc columns of a strip of
// weight rows, `valid` of them real, `stride` halves apart, into [kc][cols]
// floats with zeros past the real ones. A block widens at most `depth`
// columns of at most `widenedRows` weight rows at a time: a stretch that stays
// in the L2 of the CPUs that run the kernel (1 MB and more with AVX-512,
// 512 KB on most with AVX2) while every input row of the block passes over it.

struct Avx512Kernel {
    static constexpr int64_t rows = 12, cols = 32;
    static constexpr int64_t depth = 384, widenedRows = 512;  // 768 KB

    __attribute__((target("avx512f,avx512bw,avx512vl,fma,f16c"))) static void multiply(int64_t kc, const float* a,
                                                                                      const float* b, float* c,
                                                                                      int64_t ldc, bool overwrite) {
        __m512 lo[rows], hi[rows];
#pragma GCC unroll 12
        for (int64_t r = 0; r < rows; ++r) lo[r] = hi[r] = _mm512_setzero_ps();
        for (int64_t k = 0; k < kc; ++k, a += rows, b += cols) {
            const __m512 b0 = _mm512_load_ps(b), b1 = _mm512_load_ps(b + 16);
#pragma GCC unroll 12
            for (int64_t r = 0; r < rows; ++r) {
                const __m512 x = _mm512_set1_ps(a[r]);
                lo[r] = _mm512_fmadd_ps(x, b0, lo[r]);
                hi[r] = _mm512_fmadd_ps(x, b1, hi[r]);
            }
        }
#pragma GCC unroll 12
        for (int64_t r = 0; r < rows; ++r) {
            float* out = c + r * ldc;
            if (!overwrite) {
                lo[r] = _mm512_add_ps(lo[r], _mm512_loadu_ps(out));
                hi[r] = _mm512_add_ps(hi[r], _mm512_loadu_ps(out + 16));
            }
            _mm512_storeu_ps(out, lo[r]);
            _mm512_storeu_ps(out + 16, hi[r]);
        }
    }

    __attribute__((target("avx512f,avx512bw,avx512vl,fma,f16c"))) static void widen(const uint16_t* w, int64_t stride,
                                                                                   int64_t valid, int64_t kc,
                                                                                   float* out) {
        if (valid == cols && stride == cols) {
            for (int64_t i = 0; i < kc * cols; i += 16) {
                _mm512_store_ps(out + i, _mm512_cvtph_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + i))));
            }
            return;
        }
        const uint32_t bits = static_cast<uint32_t>((uint64_t{1} << valid) - 1);
        const __mmask16 m0 = static_cast<__mmask16>(bits), m1 = static_cast<__mmask16>(bits >> 16);
        for (int64_t k = 0; k < kc; ++k, w += stride, out += cols) {
            _mm512_store_ps(out, _mm512_cvtph_ps(_mm256_maskz_loadu_epi16(m0, w)));
            _mm512_store_ps(out + 16, _mm512_cvtph_ps(_mm256_maskz_loadu_epi16(m1, w + 16)));
        }
    }
};

struct Avx2Kernel {
    static constexpr int64_t rows = 6, cols = 16;
    static constexpr int64_t depth = 256, widenedRows = 384;  // 384 KB

    __attribute__((target("avx2,fma,f16c"))) static void multiply(int64_t kc, const float* a, const float* b, float* c,
                                                                  int64_t ldc, bool overwrite) {
        __m256 lo[rows], hi[rows];
#pragma GCC unroll 6
        for (int64_t r = 0; r < rows; ++r) lo[r] = hi[r] = _mm256_setzero_ps();
        for (int64_t k = 0; k < kc; ++k, a += rows, b += cols) {
            const __m256 b0 = _mm256_load_ps(b), b1 = _mm256_load_ps(b + 8);
#pragma GCC unroll 6
            for (int64_t r = 0; r < rows; ++r) {
                const __m256 x = _mm256_broadcast_ss(a + r);
                lo[r] = _mm256_fmadd_ps(x, b0, lo[r]);
                hi[r] = _mm256_fmadd_ps(x, b1, hi[r]);
            }
        }
#pragma GCC unroll 6
        for (int64_t r = 0; r < rows; ++r) {
            float* out = c + r * ldc;
            if (!overwrite) {
                lo[r] = _mm256_add_ps(lo[r], _mm256_loadu_ps(out));
                hi[r] = _mm256_add_ps(hi[r], _mm256_loadu_ps(out + 8));
            }
            _mm256_storeu_ps(out, lo[r]);
            _mm256_storeu_ps(out + 8, hi[r]);
        }
    }

    __attribute__((target("avx2,fma,f16c"))) static void widen(const uint16_t* w, int64_t stride, int64_t valid,
                                                               int64_t kc, float* out) {
        for (int64_t k = 0; k < kc; ++k, w += stride, out += cols) {
            if (valid == cols) {
                _mm256_store_ps(out, _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w))));
                _mm256_store_ps(out + 8, _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w + 8))));
            } else {
                for (int64_t j = 0; j < cols; ++j) out[j] = j < valid ? halfToFloat(w[j]) : 0.0f;
            }
        }
    }
};

// Input rows [rows x kc] as [kc][Rows], zeros past `rows`; whole groups of
// four rows go through 4 x 4 transposes.
template <int64_t Rows>
void packRows(const float* a, int64_t lda, int64_t rows, int64_t kc, float* out) {
    if (rows == Rows) {
        constexpr int64_t grouped = Rows / 4 * 4;
        int64_t k = 0;
        for (; k + 4 <= kc; k += 4) {
            for (int64_t r = 0; r < grouped; r += 4) {
                __m128 x0 = _mm_loadu_ps(a + r * lda + k), x1 = _mm_loadu_ps(a + (r + 1) * lda + k);
                __m128 x2 = _mm_loadu_ps(a + (r + 2) * lda + k), x3 = _mm_loadu_ps(a + (r + 3) * lda + k);
                _MM_TRANSPOSE4_PS(x0, x1, x2, x3);
                _mm_storeu_ps(out + k * Rows + r, x0);
                _mm_storeu_ps(out + (k + 1) * Rows + r, x1);
                _mm_storeu_ps(out + (k + 2) * Rows + r, x2);
                _mm_storeu_ps(out + (k + 3) * Rows + r, x3);
            }
            for (int64_t r = grouped; r < Rows; ++r) {
                for (int64_t i = 0; i < 4; ++i) out[(k + i) * Rows + r] = a[r * lda + k + i];
            }
        }
        for (; k < kc; ++k) {
            for (int64_t r = 0; r < Rows; ++r) out[k * Rows + r] = a[r * lda + k];
        }
        return;
    }
    for (int64_t k = 0; k < kc; ++k) {
        for (int64_t r = 0; r < Rows; ++r) out[k * Rows + r] = r < rows ? a[r * lda + k] : 0.0f;
    }
}

// Columns [k0, k0 + kc) of the strip of Kernel::cols weight rows starting at
// row `first`, widened.
template <class Kernel>
void widenStrip(const HalfPanels& w, int64_t first, int64_t k0, int64_t kc, float* out) {
    const int64_t start = first / kHalfPanelRows * kHalfPanelRows;
    const int64_t width = std::min(kHalfPanelRows, w.rows - start);
    const uint16_t* from = w.data + HalfPanels::offset(w.rows, w.cols, first, k0);
    Kernel::widen(from, width, std::min(Kernel::cols, width - (first - start)), kc, out);
}

// A tile that is cut by the block's edges goes through a tile of its own.
template <class Kernel>
void multiplyPartTile(int64_t kc, const float* a, const float* b, float* c, int64_t ldc, int64_t rows, int64_t from,
                      int64_t to, bool overwrite) {
    alignas(64) float tile[Kernel::rows * Kernel::cols];
    Kernel::multiply(kc, a, b, tile, Kernel::cols, true);
    for (int64_t r = 0; r < rows; ++r) {
        for (int64_t j = from; j < to; ++j) {
            float& out = c[r * ldc + j];
            out = overwrite ? tile[r * Kernel::cols + j] : out + tile[r * Kernel::cols + j];
        }
    }
}

// Goes over the block's weight strips a group at a time, their columns
// Kernel::depth at a time: widens those columns once, then packs each
// Kernel::rows input rows and runs them over every strip of the group.
template <class Kernel>
void multiplyWithKernel(const HalfPanels& w, const float* a, int64_t lda, float* c, int64_t ldc, int64_t r0, int64_t r1,
                        int64_t c0, int64_t c1, bool accumulate) {
    constexpr int64_t R = Kernel::rows, N = Kernel::cols, depth = Kernel::depth;
    const int64_t K = w.cols;
    const int64_t firstStrip = c0 / N, endStrip = (c1 + N - 1) / N, strips = endStrip - firstStrip;
    const int64_t groups = (strips * N + Kernel::widenedRows - 1) / Kernel::widenedRows;
    const int64_t perGroup = (strips + groups - 1) / groups;
    float* widened = threadBuffer(0, static_cast<size_t>(perGroup * N * std::min(K, depth)));
    float* packed = threadBuffer(1, static_cast<size_t>(R * std::min(K, depth)));
    for (int64_t g0 = firstStrip; g0 < endStrip; g0 += perGroup) {
        const int64_t g1 = std::min(endStrip, g0 + perGroup);
        for (int64_t k0 = 0; k0 < K; k0 += depth) {
            const int64_t kc = std::min(depth, K - k0);
            for (int64_t s = g0; s < g1; ++s) widenStrip<Kernel>(w, s * N, k0, kc, widened + (s - g0) * kc * N);
            const bool overwrite = !accumulate && k0 == 0;
            for (int64_t r = r0; r < r1; r += R) {
                const int64_t rows = std::min(R, r1 - r);
                packRows<R>(a + r * lda + k0, lda, rows, kc, packed);
                for (int64_t s = g0; s < g1; ++s) {
                    const float* b = widened + (s - g0) * kc * N;
                    float* tile = c + r * ldc + s * N;
                    const int64_t from = std::max(c0, s * N) - s * N, to = std::min(c1, s * N + N) - s * N;
                    if (rows == R && from == 0 && to == N) {
                        Kernel::multiply(kc, packed, b, tile, ldc, overwrite);
                    } else {
                        multiplyPartTile<Kernel>(kc, packed, b, tile, ldc, rows, from, to, overwrite);
                    }
                }
            }
        }
    }
}

// Widens columns [k0, k0 + kc) of weight rows [c0, c1) into [kc][c1 - c0]
// floats, a panel's run of rows at a time, and lets OpenBLAS multiply them.
void multiplyWithBlas(const HalfPanels& w, const float* a, int64_t lda, float* c, int64_t ldc, int64_t r0, int64_t r1,
                      int64_t c0, int64_t c1, bool accumulate) {
    const int64_t K = w.cols, n = c1 - c0;
    float* slice = threadBuffer(0, static_cast<size_t>(n * std::min(K, kBlasSlice)));
    for (int64_t k0 = 0; k0 < K; k0 += kBlasSlice) {
        const int64_t kc = std::min(kBlasSlice, K - k0);
        for (int64_t first = c0; first < c1;) {
            const int64_t end = std::min(c1, (first / kHalfPanelRows + 1) * kHalfPanelRows);
            for (int64_t k = 0; k < kc; ++k) {
                halvesToFloats(w.data + HalfPanels::offset(w.rows, w.cols, first, k0 + k), slice + k * n + (first - c0),
                               static_cast<size_t>(end - first));
            }
            first = end;
        }
        const float beta = accumulate || k0 > 0 ? 1.0f : 0.0f;
        blas::sgemm(false, false, static_cast<int>(r1 - r0), static_cast<int>(n), static_cast<int>(kc), 1.0f,
                    a + r0 * lda + k0, static_cast<int>(lda), slice, static_cast<int>(n), beta, c + r0 * ldc + c0,
                    static_cast<int>(ldc));
    }
}

}  // namespace

bool cpuRunsHalfPanelKernel(HalfPanelKernel kernel) {
    switch (kernel) {
        case HalfPanelKernel::avx512: return cpuIsX86_64v4();
        case HalfPanelKernel::avx2: return cpuIsX86_64v3();
        case HalfPanelKernel::blas: return true;
    }
    return false;
}

HalfPanelKernel fastestHalfPanelKernel() {
    if (cpuRunsHalfPanelKernel(HalfPanelKernel::avx512)) return HalfPanelKernel::avx512;
    if (cpuRunsHalfPanelKernel(HalfPanelKernel::avx2)) return HalfPanelKernel::avx2;
    return HalfPanelKernel::blas;
}

void multiplyHalfPanelBlock(HalfPanelKernel kernel, const HalfPanels& w, const float* a, int64_t lda, float* c,
                            int64_t ldc, int64_t r0, int64_t r1, int64_t c0, int64_t c1, bool accumulate) {
    if (r0 >= r1 || c0 >= c1) return;
    if (w.cols == 0) {
        if (!accumulate) {
            for (int64_t r = r0; r < r1; ++r) std::fill(c + r * ldc + c0, c + r * ldc + c1, 0.0f);
        }
        return;
    }
    switch (kernel) {
        case HalfPanelKernel::avx512:
            multiplyWithKernel<Avx512Kernel>(w, a, lda, c, ldc, r0, r1, c0, c1, accumulate);
            return;
        case HalfPanelKernel::avx2:
            multiplyWithKernel<Avx2Kernel>(w, a, lda, c, ldc, r0, r1, c0, c1, accumulate);
            return;
        case HalfPanelKernel::blas:
            multiplyWithBlas(w, a, lda, c, ldc, r0, r1, c0, c1, accumulate);
            return;
    }
}

}  // namespace platform::ml
