#include "platform/ml/HalfBatchMatrix.hpp"

#include <algorithm>
#include <vector>

#include "platform/ml/Blas.hpp"
#include "platform/ml/Half.hpp"
#include "platform/ml/Parallel.hpp"

namespace platform::ml {

namespace {

// Columns converted at a time when filling a panel: its rows' halves for
// them stay in the core's first-level cache until all are in place.
constexpr int64_t kFillColumns = 256;

}  // namespace

HalfBatchMatrix::HalfBatchMatrix(int64_t rows, int64_t cols)
    : data_(static_cast<size_t>(rows * cols)), rows_(rows), cols_(cols) {}

HalfBatchMatrix::HalfBatchMatrix(const float* values, int64_t rows, int64_t cols) : HalfBatchMatrix(rows, cols) {
    setRows(0, values, rows);
}

void HalfBatchMatrix::setRows(int64_t first, const float* values, int64_t count) {
    if (count <= 0 || cols_ == 0) return;
    const int64_t firstPanel = first / kHalfPanelRows, endPanel = (first + count - 1) / kHalfPanelRows + 1;
    parallelFor(endPanel - firstPanel, 1, [&](int64_t b, int64_t e) {
        std::vector<uint16_t> row(static_cast<size_t>(std::min(cols_, kFillColumns)));
        for (int64_t p = firstPanel + b; p < firstPanel + e; ++p) {
            const int64_t r0 = std::max(first, p * kHalfPanelRows);
            const int64_t r1 = std::min({first + count, (p + 1) * kHalfPanelRows, rows_});
            const int64_t width = std::min(kHalfPanelRows, rows_ - p * kHalfPanelRows);
            for (int64_t k0 = 0; k0 < cols_; k0 += kFillColumns) {
                const int64_t n = std::min(kFillColumns, cols_ - k0);
                uint16_t* out = data_.data() + HalfPanels::offset(rows_, cols_, r0, k0);
                for (int64_t r = r0; r < r1; ++r, ++out) {
                    floatsToHalves(values + (r - first) * cols_ + k0, row.data(), static_cast<size_t>(n));
                    for (int64_t k = 0; k < n; ++k) out[k * width] = row[static_cast<size_t>(k)];
                }
            }
        }
    });
}

void HalfBatchMatrix::multiply(int64_t m, const float* a, int64_t lda, float* c, int64_t ldc, bool accumulate) const {
    static const HalfPanelKernel kernel = fastestHalfPanelKernel();
    const HalfPanels w = panels();
    blas::forEachProductBlock(static_cast<int>(m), static_cast<int>(rows_), static_cast<int>(cols_),
                              [&](int r0, int r1, int c0, int c1) {
                                  multiplyHalfPanelBlock(kernel, w, a, lda, c, ldc, r0, r1, c0, c1, accumulate);
                              });
}

}  // namespace platform::ml
