#include "platform/ml/Kernels.hpp"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "platform/ml/CpuFeatures.hpp"
#include "platform/ml/Parallel.hpp"

// Each kernel body is compiled three times (AVX-512, AVX2, baseline) and
// picked on first use. No ifunc resolvers: those run while the program is
// being relocated, before sanitizer runtimes and the CPU model are set up.
#define ML_BODY inline __attribute__((always_inline))

namespace platform::ml::kernels {

namespace {

// exp(x) for x <= ~88, accurate to a few ulp, written so loops vectorise.
ML_BODY float expApprox(float x) {
    x = std::max(x, -87.0f);
    x = std::min(x, 88.0f);
    const float t = x * 1.44269504088896341f;
    const float n = std::floor(t + 0.5f);
    const float f = (t - n) * 0.693147180559945309f;  // |f| <= ln2/2
    float p = 1.0f / 5040.0f;
    p = p * f + 1.0f / 720.0f;
    p = p * f + 1.0f / 120.0f;
    p = p * f + 1.0f / 24.0f;
    p = p * f + 1.0f / 6.0f;
    p = p * f + 0.5f;
    p = p * f + 1.0f;
    p = p * f + 1.0f;
    const int32_t e = static_cast<int32_t>(n) << 23;
    return std::bit_cast<float>(std::bit_cast<int32_t>(p) + e);
}

// erf with |error| < 1.5e-7 (Abramowitz and Stegun 7.1.26).
ML_BODY float erfApprox(float x) {
    const float ax = std::fabs(x);
    const float t = 1.0f / (1.0f + 0.3275911f * ax);
    float y = 1.061405429f;
    y = y * t - 1.453152027f;
    y = y * t + 1.421413741f;
    y = y * t - 0.284496736f;
    y = y * t + 0.254829592f;
    y = 1.0f - y * t * expApprox(-ax * ax);
    return std::copysign(y, x);
}

ML_BODY float dotBody(const float* a, const float* b, int64_t n) {
    float s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    int64_t i = 0;
    for (; i + 64 <= n; i += 64) {
        for (int k = 0; k < 16; ++k) {
            s0 += a[i + k] * b[i + k];
            s1 += a[i + 16 + k] * b[i + 16 + k];
            s2 += a[i + 32 + k] * b[i + 32 + k];
            s3 += a[i + 48 + k] * b[i + 48 + k];
        }
    }
    float s = 0;
    for (; i < n; ++i) s += a[i] * b[i];
    return s + s0 + s1 + s2 + s3;
}

ML_BODY void axpyBody(float a, const float* x, float* y, int64_t n) {
    for (int64_t i = 0; i < n; ++i) y[i] += a * x[i];
}

ML_BODY void layerNormRowBody(const float* x, float* out, int64_t dim, const float* gamma, const float* beta) {
    float sum = 0;
    for (int64_t i = 0; i < dim; ++i) sum += x[i];
    const float mean = sum / static_cast<float>(dim);
    float var = 0;
    for (int64_t i = 0; i < dim; ++i) {
        const float d = x[i] - mean;
        var += d * d;
    }
    const float inv = 1.0f / std::sqrt(var / static_cast<float>(dim) + 1e-5f);
    for (int64_t i = 0; i < dim; ++i) out[i] = (x[i] - mean) * inv * gamma[i] + beta[i];
}

ML_BODY void geluRowBody(float* x, int64_t n, const float* bias) {
    if (bias) {
        for (int64_t i = 0; i < n; ++i) x[i] += bias[i];
    }
    for (int64_t i = 0; i < n; ++i) {
        const float v = x[i];
        x[i] = 0.5f * v * (1.0f + erfApprox(v * 0.70710678118654752f));
    }
}

ML_BODY void softmaxRowBody(float* x, int64_t n, float scale) {
    float m = -FLT_MAX;
    for (int64_t i = 0; i < n; ++i) {
        x[i] *= scale;
        m = std::max(m, x[i]);
    }
    float s = 0;
    for (int64_t i = 0; i < n; ++i) {
        x[i] = expApprox(x[i] - m);
        s += x[i];
    }
    const float inv = 1.0f / s;
    for (int64_t i = 0; i < n; ++i) x[i] *= inv;
}

ML_BODY void addBiasRowBody(float* x, int64_t n, const float* bias) {
    for (int64_t i = 0; i < n; ++i) x[i] += bias[i];
}

#define ML_VARIANTS(TARGET, SUFFIX)                                                                          \
    TARGET float dot##SUFFIX(const float* a, const float* b, int64_t n) { return dotBody(a, b, n); }          \
    TARGET void axpy##SUFFIX(float a, const float* x, float* y, int64_t n) { axpyBody(a, x, y, n); }          \
    TARGET void layerNormRow##SUFFIX(const float* x, float* out, int64_t dim, const float* g, const float* b) { \
        layerNormRowBody(x, out, dim, g, b);                                                                  \
    }                                                                                                         \
    TARGET void geluRow##SUFFIX(float* x, int64_t n, const float* bias) { geluRowBody(x, n, bias); }          \
    TARGET void softmaxRow##SUFFIX(float* x, int64_t n, float scale) { softmaxRowBody(x, n, scale); }         \
    TARGET void addBiasRow##SUFFIX(float* x, int64_t n, const float* bias) { addBiasRowBody(x, n, bias); }    \
    constexpr Table table##SUFFIX{dot##SUFFIX,     axpy##SUFFIX,       layerNormRow##SUFFIX,                  \
                                  geluRow##SUFFIX, softmaxRow##SUFFIX, addBiasRow##SUFFIX};

struct Table {
    float (*dot)(const float*, const float*, int64_t);
    void (*axpy)(float, const float*, float*, int64_t);
    void (*layerNormRow)(const float*, float*, int64_t, const float*, const float*);
    void (*geluRow)(float*, int64_t, const float*);
    void (*softmaxRow)(float*, int64_t, float);
    void (*addBiasRow)(float*, int64_t, const float*);
};

ML_VARIANTS(__attribute__((target("arch=x86-64-v4"))), V4)
ML_VARIANTS(__attribute__((target("arch=x86-64-v3"))), V3)
ML_VARIANTS(, Baseline)

const Table& pickTable() {
    if (cpuIsX86_64v4()) return tableV4;
    if (cpuIsX86_64v3()) return tableV3;
    return tableBaseline;
}

const Table& table() {
    static const Table& t = pickTable();
    return t;
}

}  // namespace

float dot(const float* a, const float* b, int64_t n) { return table().dot(a, b, n); }
void axpy(float a, const float* x, float* y, int64_t n) { table().axpy(a, x, y, n); }
void layerNormRow(const float* x, float* out, int64_t dim, const float* gamma, const float* beta) {
    table().layerNormRow(x, out, dim, gamma, beta);
}
void geluRow(float* x, int64_t n, const float* bias) { table().geluRow(x, n, bias); }
void softmaxRow(float* x, int64_t n, float scale) { table().softmaxRow(x, n, scale); }

void layerNorm(const float* x, float* out, int64_t rows, int64_t dim, const float* gamma, const float* beta) {
    parallelFor(rows, std::max<int64_t>(1, 16384 / std::max<int64_t>(dim, 1)), [&](int64_t b, int64_t e) {
        for (int64_t r = b; r < e; ++r) layerNormRow(x + r * dim, out + r * dim, dim, gamma, beta);
    });
}

void biasGelu(float* x, int64_t rows, int64_t dim, const float* bias) {
    parallelFor(rows, std::max<int64_t>(1, 16384 / std::max<int64_t>(dim, 1)), [&](int64_t b, int64_t e) {
        for (int64_t r = b; r < e; ++r) geluRow(x + r * dim, dim, bias);
    });
}

void addBias(float* x, int64_t rows, int64_t dim, const float* bias) {
    parallelFor(rows, std::max<int64_t>(1, 32768 / std::max<int64_t>(dim, 1)), [&](int64_t b, int64_t e) {
        for (int64_t r = b; r < e; ++r) table().addBiasRow(x + r * dim, dim, bias);
    });
}

void softmaxRows(float* x, int64_t rows, int64_t n, int64_t ld, float scale) {
    parallelFor(rows, std::max<int64_t>(1, 16384 / std::max<int64_t>(n, 1)), [&](int64_t b, int64_t e) {
        for (int64_t r = b; r < e; ++r) softmaxRow(x + r * ld, n, scale);
    });
}

}  // namespace platform::ml::kernels
