#pragma once

#include <functional>
#include <string>

namespace platform::ml::blas {

// Row-major single-precision products through OpenBLAS, loaded at first use
// (after choosing its kernel for this CPU, see DESIGN). Falls back to plain
// loops when the library is missing.
// C[M x N] = alpha * op(A)[M x K] * op(B)[K x N] + beta * C
void sgemm(bool transA, bool transB, int M, int N, int K, float alpha, const float* A, int lda, const float* B,
           int ldb, float beta, float* C, int ldc);
// y[M] = alpha * A[M x N] * x + beta * y   (transA: y[N] = A^T x)
void sgemv(bool transA, int M, int N, float alpha, const float* A, int lda, const float* x, float beta, float* y);

// The same products split over the shared pool, each part on one thread.
// OpenBLAS itself runs single-threaded: the runtime does its own splitting,
// so concurrent predictions and small per-head products share the cores.
void sgemmParallel(bool transB, int M, int N, int K, float alpha, const float* A, int lda, const float* B, int ldb,
                   float beta, float* C, int ldc);
void sgemvParallel(int M, int N, float alpha, const float* A, int lda, const float* x, float beta, float* y);

// The blocks sgemmParallel splits a product C[M x N] of inner size K into:
// body(r0, r1, c0, c1) once per block of C (rows [r0, r1), columns [c0, c1)),
// each on one thread of the pool; one block on the calling thread when the
// product is small.
void forEachProductBlock(int M, int N, int K, const std::function<void(int r0, int r1, int c0, int c1)>& body);

bool usingOpenBlas();
// The kernel OpenBLAS runs ("SkylakeX", "Haswell", ...), or "none".
std::string coreName();
// The OPENBLAS_CORETYPE in effect and whether the user set it.
std::string coreTypeSetting();
bool coreTypeFromUser();
int threadCount();
// OpenBLAS's own thread count (benchmarks measure the library alone with it).
void setThreadCount(int threads);

}  // namespace platform::ml::blas
