#include "platform/ml/Blas.hpp"

#include <cstdlib>
#include <dlfcn.h>
#include <algorithm>
#include <mutex>

#include "platform/ml/Parallel.hpp"

namespace platform::ml::blas {

namespace {

enum Order { RowMajor = 101 };
enum Trans { NoTrans = 111, Trans = 112 };

using SgemmFn = void (*)(int, int, int, int, int, int, float, const float*, int, const float*, int, float, float*, int);
using SgemvFn = void (*)(int, int, int, int, float, const float*, int, const float*, int, float, float*, int);
using CoreNameFn = char* (*)();
using ThreadsFn = int (*)();
using SetThreadsFn = void (*)(int);

struct Library {
    SgemmFn sgemm = nullptr;
    SgemvFn sgemv = nullptr;
    CoreNameFn coreName = nullptr;
    ThreadsFn threads = nullptr;
    SetThreadsFn setThreads = nullptr;
    std::string coreType;
    bool userCoreType = false;
};

// Debian's dynamic-arch build falls back to a generic kernel on CPUs it does
// not recognise; naming the family from the CPU's features avoids that.
std::string coreTypeForThisCpu() {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq")) {
        return "SkylakeX";
    }
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return "Haswell";
    if (__builtin_cpu_supports("avx")) return "Sandybridge";
    return "";
}

struct CoreTypeChoice {
    std::string value;
    bool fromUser = false;
    CoreTypeChoice() {
        if (const char* user = std::getenv("OPENBLAS_CORETYPE"); user && *user) {
            value = user;
            fromUser = true;
        } else {
            value = coreTypeForThisCpu();
            if (!value.empty()) ::setenv("OPENBLAS_CORETYPE", value.c_str(), 0);
        }
    }
};

const CoreTypeChoice& coreTypeChoice() {
    static const CoreTypeChoice choice;
    return choice;
}

// Changing the environment is only safe before other threads run, so the
// choice is made at start-up; the library itself is loaded on first use.
[[maybe_unused]] const CoreTypeChoice& earlyChoice = coreTypeChoice();

const Library& library() {
    static Library lib;
    static std::once_flag once;
    std::call_once(once, [] {
        lib.coreType = coreTypeChoice().value;
        lib.userCoreType = coreTypeChoice().fromUser;
        void* handle = ::dlopen("libopenblas.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!handle) return;
        lib.sgemm = reinterpret_cast<SgemmFn>(::dlsym(handle, "cblas_sgemm"));
        lib.sgemv = reinterpret_cast<SgemvFn>(::dlsym(handle, "cblas_sgemv"));
        lib.coreName = reinterpret_cast<CoreNameFn>(::dlsym(handle, "openblas_get_corename"));
        lib.threads = reinterpret_cast<ThreadsFn>(::dlsym(handle, "openblas_get_num_threads"));
        lib.setThreads = reinterpret_cast<SetThreadsFn>(::dlsym(handle, "openblas_set_num_threads"));
        if (lib.setThreads) lib.setThreads(1);
    });
    return lib;
}

}  // namespace

void sgemm(bool transA, bool transB, int M, int N, int K, float alpha, const float* A, int lda, const float* B,
           int ldb, float beta, float* C, int ldc) {
    if (M <= 0 || N <= 0) return;
    const auto& lib = library();
    if (lib.sgemm) {
        lib.sgemm(RowMajor, transA ? Trans : NoTrans, transB ? Trans : NoTrans, M, N, K, alpha, A, lda, B, ldb, beta,
                  C, ldc);
        return;
    }
    for (int i = 0; i < M; ++i) {
        for (int j = 0; j < N; ++j) {
            float s = 0;
            for (int k = 0; k < K; ++k) {
                const float a = transA ? A[k * lda + i] : A[i * lda + k];
                const float b = transB ? B[j * ldb + k] : B[k * ldb + j];
                s += a * b;
            }
            C[i * ldc + j] = alpha * s + (beta == 0 ? 0 : beta * C[i * ldc + j]);
        }
    }
}

void sgemv(bool transA, int M, int N, float alpha, const float* A, int lda, const float* x, float beta, float* y) {
    const auto& lib = library();
    if (lib.sgemv) {
        lib.sgemv(RowMajor, transA ? Trans : NoTrans, M, N, alpha, A, lda, x, 1, beta, y, 1);
        return;
    }
    const int rows = transA ? N : M;
    for (int r = 0; r < rows; ++r) {
        float s = 0;
        if (transA) {
            for (int i = 0; i < M; ++i) s += A[i * lda + r] * x[i];
        } else {
            for (int j = 0; j < N; ++j) s += A[r * lda + j] * x[j];
        }
        y[r] = alpha * s + (beta == 0 ? 0 : beta * y[r]);
    }
}

void forEachProductBlock(int M, int N, int K, const std::function<void(int r0, int r1, int c0, int c1)>& body) {
    if (M <= 0 || N <= 0) return;
    const double work = 2.0 * M * N * K;
    if (work < 4e6) {
        body(0, M, 0, N);
        return;
    }
    // A grid of blocks, two per thread (so a thread that was held up costs
    // less); each block packs its own part of A and of B, so choose the grid
    // that packs the least.
    const int parts = 2 * workerCount();
    int bestRows = 1;
    double bestCost = 1e300;
    for (int pm = 1; pm <= parts; ++pm) {
        if (parts % pm != 0) continue;
        const int pn = parts / pm;
        const double cost = double(M) / pm + double(N) / pn;
        if (cost < bestCost) {
            bestCost = cost;
            bestRows = pm;
        }
    }
    const int pm = bestRows, pn = parts / pm;
    const int64_t rows = std::max<int64_t>(16, ((M + pm - 1) / pm + 15) / 16 * 16);
    const int64_t cols = std::max<int64_t>(16, ((N + pn - 1) / pn + 15) / 16 * 16);
    const int64_t rowBlocks = (M + rows - 1) / rows, colBlocks = (N + cols - 1) / cols;
    parallelFor(rowBlocks * colBlocks, 1, [&](int64_t b, int64_t e) {
        for (int64_t task = b; task < e; ++task) {
            const int r0 = static_cast<int>((task / colBlocks) * rows);
            const int r1 = static_cast<int>(std::min<int64_t>(M, r0 + rows));
            const int c0 = static_cast<int>((task % colBlocks) * cols);
            const int c1 = static_cast<int>(std::min<int64_t>(N, c0 + cols));
            body(r0, r1, c0, c1);
        }
    });
}

void sgemmParallel(bool transB, int M, int N, int K, float alpha, const float* A, int lda, const float* B, int ldb,
                   float beta, float* C, int ldc) {
    forEachProductBlock(M, N, K, [&](int r0, int r1, int c0, int c1) {
        const float* Bj = transB ? B + static_cast<int64_t>(c0) * ldb : B + c0;
        sgemm(false, transB, r1 - r0, c1 - c0, K, alpha, A + static_cast<int64_t>(r0) * lda, lda, Bj, ldb, beta,
              C + static_cast<int64_t>(r0) * ldc + c0, ldc);
    });
}

void sgemvParallel(int M, int N, float alpha, const float* A, int lda, const float* x, float beta, float* y) {
    const int64_t rows = std::max<int64_t>(64, (int64_t{1} << 16) / std::max(N, 1));
    parallelFor((M + rows - 1) / rows, 1, [&](int64_t b, int64_t e) {
        for (int64_t i = b; i < e; ++i) {
            const int r0 = static_cast<int>(i * rows), r1 = static_cast<int>(std::min<int64_t>(M, r0 + rows));
            sgemv(false, r1 - r0, N, alpha, A + static_cast<int64_t>(r0) * lda, lda, x, beta, y + r0);
        }
    });
}

void setThreadCount(int threads) {
    const auto& lib = library();
    if (lib.setThreads) lib.setThreads(std::max(1, threads));
}

bool usingOpenBlas() { return library().sgemm != nullptr; }

std::string coreName() {
    const auto& lib = library();
    if (!lib.coreName) return "none";
    const char* n = lib.coreName();
    return n ? n : "unknown";
}

std::string coreTypeSetting() { return library().coreType; }
bool coreTypeFromUser() { return library().userCoreType; }

int threadCount() {
    const auto& lib = library();
    return lib.threads ? lib.threads() : 1;
}

}  // namespace platform::ml::blas
