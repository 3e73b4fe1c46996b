#include "platform/ml/Half.hpp"

#include <cmath>
#include <cstring>
#include <immintrin.h>

#include "platform/foundation/NumberFormat.hpp"
#include "platform/ml/CpuFeatures.hpp"

namespace platform::ml {

uint16_t floatToHalf(float value) {
    uint32_t x;
    std::memcpy(&x, &value, 4);
    const uint32_t sign = (x >> 16) & 0x8000u;
    const uint32_t absx = x & 0x7FFFFFFFu;
    if (absx >= 0x7F800000u) {  // inf or NaN
        return static_cast<uint16_t>(sign | 0x7C00u | (absx > 0x7F800000u ? 0x200u | ((absx >> 13) & 0x3FFu) : 0u));
    }
    if (absx >= 0x477FF000u) {  // rounds to >= 65520: overflow
        return static_cast<uint16_t>(sign | 0x7C00u);
    }
    if (absx < 0x38800000u) {  // below the smallest normal half: subnormal or zero
        if (absx < 0x33000000u) return static_cast<uint16_t>(sign);  // < half of the smallest subnormal
        const uint32_t exponent = absx >> 23;
        const uint32_t mantissa = (absx & 0x7FFFFFu) | 0x800000u;
        const uint32_t shift = 126u - exponent;  // 14 + (112 - exponent) + ... in [14, 24]
        uint32_t half = mantissa >> shift;
        const uint32_t remainder = mantissa & ((1u << shift) - 1u);
        const uint32_t halfway = 1u << (shift - 1u);
        if (remainder > halfway || (remainder == halfway && (half & 1u))) ++half;
        return static_cast<uint16_t>(sign | half);
    }
    uint32_t half = ((absx - 0x38000000u) >> 13);
    const uint32_t remainder = absx & 0x1FFFu;
    if (remainder > 0x1000u || (remainder == 0x1000u && (half & 1u))) ++half;
    return static_cast<uint16_t>(sign | half);
}

float halfToFloat(uint16_t bits) {
    const uint32_t sign = static_cast<uint32_t>(bits & 0x8000u) << 16;
    uint32_t exponent = (bits >> 10) & 0x1Fu;
    uint32_t mantissa = bits & 0x3FFu;
    uint32_t x;
    if (exponent == 0) {
        if (mantissa == 0) {
            x = sign;
        } else {
            exponent = 113;
            while ((mantissa & 0x400u) == 0) {
                mantissa <<= 1;
                --exponent;
            }
            mantissa &= 0x3FFu;
            x = sign | (exponent << 23) | (mantissa << 13);
        }
    } else if (exponent == 31) {
        x = sign | 0x7F800000u | (mantissa << 13);
    } else {
        x = sign | ((exponent + 112u) << 23) | (mantissa << 13);
    }
    float f;
    std::memcpy(&f, &x, 4);
    return f;
}

namespace {

bool hasF16C() {
    static const bool has = cpuHasF16C();
    return has;
}

__attribute__((target("avx,f16c"))) void toHalvesF16C(const float* in, uint16_t* out, size_t count) {
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        __m256 v = _mm256_loadu_ps(in + i);
        __m128i h = _mm256_cvtps_ph(v, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), h);
    }
    for (; i < count; ++i) out[i] = floatToHalf(in[i]);
}

__attribute__((target("avx,f16c"))) void toFloatsF16C(const uint16_t* in, float* out, size_t count) {
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        __m128i h = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        _mm256_storeu_ps(out + i, _mm256_cvtph_ps(h));
    }
    for (; i < count; ++i) out[i] = halfToFloat(in[i]);
}

}  // namespace

void floatsToHalves(const float* in, uint16_t* out, size_t count) {
    if (hasF16C()) {
        toHalvesF16C(in, out, count);
        return;
    }
    for (size_t i = 0; i < count; ++i) out[i] = floatToHalf(in[i]);
}

void halvesToFloats(const uint16_t* in, float* out, size_t count) {
    if (hasF16C()) {
        toFloatsF16C(in, out, count);
        return;
    }
    for (size_t i = 0; i < count; ++i) out[i] = halfToFloat(in[i]);
}

std::string Half::description() const {
    const float value = toFloat();
    if (!std::isfinite(value)) return formatShortest(value);
    // Five significant digits tell every half apart; use the fewest that do,
    // then print that decimal in the plain shortest form ("-10000.0", not "-1e+04").
    double shortest = value;
    for (int digits = 1; digits <= 5; ++digits) {
        const auto back = parseDouble(formatSignificant(value, digits));
        if (back && floatToHalf(static_cast<float>(*back)) == bits) {
            shortest = *back;
            break;
        }
    }
    return formatShortest(static_cast<float>(shortest));
}

}  // namespace platform::ml
