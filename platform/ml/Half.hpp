#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform::ml {

// Float16 values are stored as their IEEE 754 binary16 bits.
inline constexpr uint16_t kHalfNegativeInfinity = 0xFC00;
inline constexpr uint16_t kHalfPositiveInfinity = 0x7C00;
inline constexpr uint16_t kHalfMinus10000 = 0xF0E2;  // the padding mask's "hidden" value

// Exact conversions (round to nearest, ties to even; NaN stays NaN).
uint16_t floatToHalf(float value);
float halfToFloat(uint16_t bits);

// A 16-bit float value. Each arithmetic operation rounds its exact result
// to half precision (to nearest, ties to even), as half-precision hardware
// does: a + b * c rounds twice, once for the product and once for the sum.
// Float arithmetic is wide enough for the intermediate step: rounding the
// exact result of one operation on halves to float and then to half gives
// the correctly rounded half.
struct Half {
    uint16_t bits = 0;

    static Half fromFloat(float value) { return Half{floatToHalf(value)}; }
    static Half fromBits(uint16_t bits) { return Half{bits}; }
    float toFloat() const { return halfToFloat(bits); }

    friend Half operator+(Half a, Half b) { return fromFloat(a.toFloat() + b.toFloat()); }
    friend Half operator-(Half a, Half b) { return fromFloat(a.toFloat() - b.toFloat()); }
    friend Half operator*(Half a, Half b) { return fromFloat(a.toFloat() * b.toFloat()); }
    friend Half operator/(Half a, Half b) { return fromFloat(a.toFloat() / b.toFloat()); }
    Half operator-() const { return Half{static_cast<uint16_t>(bits ^ 0x8000u)}; }

    // Numeric comparison: +0 equals -0, NaN equals nothing.
    friend bool operator==(Half a, Half b) { return a.toFloat() == b.toFloat(); }
    friend bool operator<(Half a, Half b) { return a.toFloat() < b.toFloat(); }
    friend bool operator>(Half a, Half b) { return b < a; }
    friend bool operator<=(Half a, Half b) { return a.toFloat() <= b.toFloat(); }
    friend bool operator>=(Half a, Half b) { return b <= a; }

    // The shortest text that reads back to the same half, with ".0" on whole
    // numbers: 0.199951171875 prints "0.2", 1 prints "1.0".
    std::string description() const;
};

inline constexpr Half kHalfNegativeInfinityValue{kHalfNegativeInfinity};

// Bulk conversions; use F16C when the CPU has it.
void floatsToHalves(const float* in, uint16_t* out, size_t count);
void halvesToFloats(const uint16_t* in, float* out, size_t count);

}  // namespace platform::ml
