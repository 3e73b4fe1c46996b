#pragma once

#include <cstdint>

namespace platform::ml::kernels {

// Row-wise layer normalisation (eps 1e-5) of x[rows x dim] into out.
void layerNorm(const float* x, float* out, int64_t rows, int64_t dim, const float* gamma, const float* beta);
// x = gelu(x + bias) over rows x dim (bias may be null), exact-erf GELU.
void biasGelu(float* x, int64_t rows, int64_t dim, const float* bias);
// x += bias over rows x dim.
void addBias(float* x, int64_t rows, int64_t dim, const float* bias);
// In-place softmax of each row (stride ld) of x[rows x n], scaled by `scale` first.
void softmaxRows(float* x, int64_t rows, int64_t n, int64_t ld, float scale);

// Single-thread building blocks (callers split the work).
void layerNormRow(const float* x, float* out, int64_t dim, const float* gamma, const float* beta);
void geluRow(float* x, int64_t n, const float* bias);
void softmaxRow(float* x, int64_t n, float scale);
float dot(const float* a, const float* b, int64_t n);
void axpy(float a, const float* x, float* y, int64_t n);  // y += a * x

}  // namespace platform::ml::kernels
