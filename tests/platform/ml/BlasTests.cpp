#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "platform/ml/AlignedBuffer.hpp"
#include "platform/ml/Blas.hpp"
#include "platform/ml/HalfBatchMatrix.hpp"
#include "platform/ml/HalfMatrix.hpp"
#include "platform/ml/Half.hpp"
#include "platform/ml/Parallel.hpp"

using namespace platform::ml;

namespace {

std::vector<float> randomVector(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> v(n);
    for (auto& x : v) x = u(rng);
    return v;
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// c[r0:r1, c0:c1] = a W^T (+ c when accumulate) by plain loops in double,
// with W [.. x cols] rounded to float16 first; the rest of c as it was.
std::vector<float> halfProductByLoops(const std::vector<float>& w, int64_t cols, const std::vector<float>& a,
                                      int64_t lda, std::vector<float> c, int64_t ldc, int64_t r0, int64_t r1,
                                      int64_t c0, int64_t c1, bool accumulate) {
    for (int64_t i = r0; i < r1; ++i) {
        for (int64_t j = c0; j < c1; ++j) {
            double s = 0;
            for (int64_t k = 0; k < cols; ++k) s += double(a[i * lda + k]) * halfToFloat(floatToHalf(w[j * cols + k]));
            c[i * ldc + j] = float(s + (accumulate ? c[i * ldc + j] : 0.0));
        }
    }
    return c;
}

float largestDifference(const std::vector<float>& x, const std::vector<float>& y) {
    float worst = 0;
    for (size_t i = 0; i < x.size(); ++i) worst = std::max(worst, std::abs(x[i] - y[i]));
    return worst;
}

}  // namespace

TEST(Blas, RunsTheKernelChosenForThisCpu) {
    ASSERT_TRUE(blas::usingOpenBlas());
    EXPECT_EQ(blas::threadCount(), 1);  // the runtime splits the work itself
    if (blas::coreTypeFromUser()) GTEST_SKIP() << "OPENBLAS_CORETYPE set by the user";
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("avx2")) GTEST_SKIP() << "the processor has no AVX2, so no kernel of ours is chosen";
    const auto chosen = blas::coreTypeSetting();
    EXPECT_TRUE(chosen == "SkylakeX" || chosen == "Haswell") << chosen;
    EXPECT_EQ(lower(blas::coreName()), lower(chosen));
}

TEST(Blas, SplitProductsMatchPlainLoops) {
    struct Case { int M, N, K; bool transB; float beta; };
    const Case cases[] = {{1500, 384, 64, true, 0.0f}, {7, 3000, 33, true, 1.0f}, {3000, 402, 400, false, 0.0f},
                          {129, 17, 256, false, 1.0f}, {1, 1, 1, true, 0.0f}};
    for (const auto& c : cases) {
        const auto a = randomVector(size_t(c.M) * c.K, 1);
        const auto b = randomVector(size_t(c.K) * c.N, 2);
        auto out = randomVector(size_t(c.M) * c.N, 3);
        auto expected = out;
        for (int i = 0; i < c.M; ++i) {
            for (int j = 0; j < c.N; ++j) {
                double s = 0;
                for (int k = 0; k < c.K; ++k) s += double(a[i * c.K + k]) * (c.transB ? b[j * c.K + k] : b[k * c.N + j]);
                expected[i * c.N + j] = float(0.5 * s + c.beta * expected[i * c.N + j]);
            }
        }
        blas::sgemmParallel(c.transB, c.M, c.N, c.K, 0.5f, a.data(), c.K, b.data(), c.transB ? c.K : c.N, c.beta,
                            out.data(), c.N);
        float worst = 0;
        for (size_t i = 0; i < out.size(); ++i) worst = std::max(worst, std::abs(out[i] - expected[i]));
        EXPECT_LT(worst, 1e-4f) << c.M << "x" << c.N << "x" << c.K;
    }
}

TEST(Blas, HalfMatrixProductsMatchPlainLoops) {
    // Shapes with partial row panels, column tails, no full column block,
    // and one large enough to be split over the pool.
    for (auto [rows, cols] : {std::pair<int64_t, int64_t>{51, 37}, {4099, 1280}, {3, 16}, {6, 5}, {1030, 2061}}) {
        const auto w = randomVector(size_t(rows * cols), 4);
        FloatBuffer wb(w.size());
        std::copy(w.begin(), w.end(), wb.data());
        HalfMatrix m(wb, rows, cols);
        const auto x = randomVector(size_t(cols), 5);
        std::vector<float> y(static_cast<size_t>(rows), 1.0f);
        std::vector<float> expected(static_cast<size_t>(rows));
        for (int64_t r = 0; r < rows; ++r) {
            double s = 0;
            for (int64_t j = 0; j < cols; ++j) s += double(halfToFloat(floatToHalf(w[r * cols + j]))) * x[j];
            expected[r] = float(1.0 + s);
        }
        m.multiply(x.data(), y.data(), true);
        float worst = 0;
        for (int64_t r = 0; r < rows; ++r) worst = std::max(worst, std::abs(y[r] - expected[r]));
        EXPECT_LT(worst, 1e-3f) << rows << "x" << cols;
        std::vector<float> row(static_cast<size_t>(cols));
        for (int64_t r : {int64_t{0}, rows / 2, rows - 1}) {
            m.rowToFloats(r, row.data());
            for (int64_t j = 0; j < cols; ++j)
                ASSERT_EQ(row[j], halfToFloat(floatToHalf(w[r * cols + j]))) << rows << "x" << cols << " at " << r << "," << j;
        }
    }
}

TEST(Blas, HalfBatchMatrixProductsMatchPlainLoops) {
    // c = a W^T (+ c), W held as float16: one block on the calling thread,
    // products split over the pool, inner sizes with a partial last slice,
    // and rows of a and c longer than the product uses.
    struct Case { int64_t m, rows, cols, lda, ldc; bool accumulate; };
    const Case cases[] = {{3, 5, 7, 7, 5, false},       {1500, 384, 64, 64, 384, true},
                          {300, 130, 1300, 1310, 140, false}, {1500, 96, 2048, 2048, 96, true},
                          {1, 1, 1, 1, 1, true}};
    for (const auto& c : cases) {
        const auto w = randomVector(size_t(c.rows * c.cols), 6);
        const auto a = randomVector(size_t(c.m * c.lda), 7);
        auto out = randomVector(size_t(c.m * c.ldc), 8);
        const auto expected = halfProductByLoops(w, c.cols, a, c.lda, out, c.ldc, 0, c.m, 0, c.rows, c.accumulate);
        HalfBatchMatrix m(w.data(), c.rows, c.cols);
        EXPECT_EQ(m.bytes(), size_t(c.rows * c.cols) * 2);
        m.multiply(c.m, a.data(), c.lda, out.data(), c.ldc, c.accumulate);
        // Columns past the product's are left as they were.
        EXPECT_LT(largestDifference(out, expected), 1e-3f) << c.m << "x" << c.rows << "x" << c.cols;
    }
}

TEST(Blas, EveryHalfPanelKernelThisCpuRunsComputesItsBlockAndNothingElse) {
    // Blocks whose edges cut the kernels' tiles (rows not a multiple of their
    // tile height, columns starting and ending inside a strip and inside the
    // narrower last panel), inner sizes past one widened stretch with a short
    // last one, fewer columns than a transpose takes, wider blocks than one
    // widened group, and weights without columns.
    struct Case { int64_t m, rows, cols, lda, ldc, r0, r1, c0, c1; bool accumulate; };
    const Case cases[] = {{3, 5, 7, 7, 5, 0, 3, 0, 5, false},          {300, 130, 1300, 1310, 140, 7, 250, 13, 121, true},
                          {40, 70, 3, 3, 70, 1, 40, 31, 70, false},        {50, 1100, 20, 20, 1100, 0, 50, 0, 1100, true},
                          {37, 64, 800, 800, 64, 12, 37, 32, 64, false},   {5, 9, 0, 1, 9, 0, 5, 2, 9, false}};
    for (const HalfPanelKernel kernel : {HalfPanelKernel::avx512, HalfPanelKernel::avx2, HalfPanelKernel::blas}) {
        if (!cpuRunsHalfPanelKernel(kernel)) continue;
        for (const auto& c : cases) {
            const auto w = randomVector(size_t(c.rows * c.cols), 9);
            const auto a = randomVector(size_t(c.m * c.lda), 10);
            auto out = randomVector(size_t(c.m * c.ldc), 11);
            const auto expected =
                halfProductByLoops(w, c.cols, a, c.lda, out, c.ldc, c.r0, c.r1, c.c0, c.c1, c.accumulate);
            const HalfBatchMatrix m(w.data(), c.rows, c.cols);
            multiplyHalfPanelBlock(kernel, m.panels(), a.data(), c.lda, out.data(), c.ldc, c.r0, c.r1, c.c0, c.c1,
                                   c.accumulate);
            EXPECT_LT(largestDifference(out, expected), 1e-3f)
                << "kernel " << int(kernel) << ", " << c.m << "x" << c.rows << "x" << c.cols;
        }
    }
}

TEST(Blas, HalfBatchMatrixRowsSetInPiecesMatchRowsSetAtOnce) {
    // As the encoder sets its query, key and value rows: pieces that start
    // and end inside a panel.
    const int64_t rows = 75, cols = 40;
    const auto w = randomVector(size_t(rows * cols), 12);
    const HalfBatchMatrix whole(w.data(), rows, cols);
    HalfBatchMatrix pieces(rows, cols);
    for (const auto& [first, count] : {std::pair<int64_t, int64_t>{25, 25}, {50, 25}, {0, 25}}) {
        pieces.setRows(first, w.data() + first * cols, count);
    }
    for (int64_t r = 0; r < rows; ++r) {
        for (int64_t k = 0; k < cols; ++k) {
            const size_t at = HalfPanels::offset(rows, cols, r, k);
            ASSERT_EQ(pieces.panels().data[at], whole.panels().data[at]) << r << "," << k;
            ASSERT_EQ(whole.panels().data[at], floatToHalf(w[size_t(r * cols + k)])) << r << "," << k;
        }
    }
}

TEST(Parallel, CoversEveryIndexOnceFromSeveralCallers) {
    std::vector<std::vector<int>> hits(4, std::vector<int>(10007, 0));
    std::vector<std::thread> callers;
    for (int c = 0; c < 4; ++c) {
        callers.emplace_back([&, c] {
            parallelFor(10007, 10, [&](int64_t b, int64_t e) {
                for (int64_t i = b; i < e; ++i) ++hits[c][i];
            });
        });
    }
    for (auto& t : callers) t.join();
    for (const auto& h : hits) EXPECT_TRUE(std::all_of(h.begin(), h.end(), [](int n) { return n == 1; }));
}

TEST(Parallel, LoopsInsideLoopsAndManyShortLoopsFinish) {
    std::vector<std::atomic<int>> hits(64 * 97);
    parallelFor(64, 1, [&](int64_t b, int64_t e) {
        for (int64_t o = b; o < e; ++o) {
            parallelFor(97, 1, [&](int64_t ib, int64_t ie) {
                for (int64_t i = ib; i < ie; ++i) hits[static_cast<size_t>(o * 97 + i)].fetch_add(1);
            });
        }
    });
    for (const auto& h : hits) ASSERT_EQ(h.load(), 1);
    std::vector<int> sums(20000, 0);
    for (int round = 0; round < 20000; ++round) {
        std::atomic<int> sum{0};
        parallelFor(8, 1, [&](int64_t b, int64_t e) { sum.fetch_add(static_cast<int>(e - b)); });
        sums[static_cast<size_t>(round)] = sum.load();
    }
    EXPECT_TRUE(std::all_of(sums.begin(), sums.end(), [](int n) { return n == 8; }));
}
