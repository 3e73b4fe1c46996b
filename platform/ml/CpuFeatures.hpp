#pragma once

namespace platform::ml {

// What the CPU running us can do, for picking kernel variants. F16C, MOVBE
// and LZCNT are read from CPUID and the x86-64 levels spelled out: not every
// compiler's __builtin_cpu_supports knows those names.

// The F16C half-float conversions (with the AVX state the OS must enable).
bool cpuHasF16C();
// The x86-64-v3 level: AVX, AVX2, BMI1, BMI2, F16C, FMA, LZCNT, MOVBE.
bool cpuIsX86_64v3();
// The x86-64-v4 level: v3 with AVX-512 F, BW, CD, DQ and VL.
bool cpuIsX86_64v4();

}  // namespace platform::ml
