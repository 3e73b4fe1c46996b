#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::ml {

// Float16 weights [rows x cols] stored in panels of kHalfPanelRows rows, each
// panel column by column: panel p holds rows [32p, 32p + w), w = 32 or what is
// left for the last one, and row r's column k lies at 32p * cols + k * w +
// (r - 32p). A product reads each panel as one stream, in the order its
// kernels take the weights.
inline constexpr int64_t kHalfPanelRows = 32;

struct HalfPanels {
    const uint16_t* data = nullptr;
    int64_t rows = 0, cols = 0;

    static size_t offset(int64_t rows, int64_t cols, int64_t r, int64_t k) {
        const int64_t start = r / kHalfPanelRows * kHalfPanelRows;
        const int64_t width = rows - start < kHalfPanelRows ? rows - start : kHalfPanelRows;
        return static_cast<size_t>(start * cols + k * width + (r - start));
    }
};

// How a block of a product runs: register kernels that widen the weights to
// float32 in the core's cache and pack the inputs themselves (AVX-512, or
// AVX2 with FMA and F16C), or OpenBLAS on weights widened a slice at a time.
enum class HalfPanelKernel { avx512, avx2, blas };

bool cpuRunsHalfPanelKernel(HalfPanelKernel kernel);
// The fastest kernel this CPU runs.
HalfPanelKernel fastestHalfPanelKernel();

// c[r0:r1, c0:c1] = a[r0:r1, :] W[c0:c1, :]^T (+ c when accumulate), with a
// [.. x cols] and c row-major, on the calling thread.
void multiplyHalfPanelBlock(HalfPanelKernel kernel, const HalfPanels& w, const float* a, int64_t lda, float* c,
                            int64_t ldc, int64_t r0, int64_t r1, int64_t c0, int64_t c1, bool accumulate);

}  // namespace platform::ml
