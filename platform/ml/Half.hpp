#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::ml {

// Float16 values are stored as their IEEE 754 binary16 bits.
inline constexpr uint16_t kHalfNegativeInfinity = 0xFC00;
inline constexpr uint16_t kHalfPositiveInfinity = 0x7C00;
inline constexpr uint16_t kHalfMinus10000 = 0xF0E2;  // the padding mask's "hidden" value

// Exact conversions (round to nearest, ties to even; NaN stays NaN).
uint16_t floatToHalf(float value);
float halfToFloat(uint16_t bits);

// Bulk conversions; use F16C when the CPU has it.
void floatsToHalves(const float* in, uint16_t* out, size_t count);
void halvesToFloats(const uint16_t* in, float* out, size_t count);

}  // namespace platform::ml
