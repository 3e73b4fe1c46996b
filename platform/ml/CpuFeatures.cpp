#include "platform/ml/CpuFeatures.hpp"

#include <cpuid.h>

namespace platform::ml {

namespace {

struct CpuidBits {
    unsigned leaf1Ecx = 0;
    unsigned extendedEcx = 0;
};

CpuidBits readCpuid() {
    CpuidBits bits;
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(1, &a, &b, &c, &d)) bits.leaf1Ecx = c;
    if (__get_cpuid(0x80000001, &a, &b, &c, &d)) bits.extendedEcx = c;
    return bits;
}

const CpuidBits& cpuid() {
    static const CpuidBits bits = readCpuid();
    return bits;
}

}  // namespace

bool cpuHasF16C() {
    __builtin_cpu_init();  // may run before the CPU model's own constructor
    return __builtin_cpu_supports("avx") && (cpuid().leaf1Ecx & bit_F16C) != 0;
}

bool cpuIsX86_64v3() {
    __builtin_cpu_init();
    return cpuHasF16C() && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
           __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("fma") && (cpuid().leaf1Ecx & bit_MOVBE) != 0 &&
           (cpuid().extendedEcx & bit_LZCNT) != 0;
}

bool cpuIsX86_64v4() {
    __builtin_cpu_init();
    return cpuIsX86_64v3() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512cd") && __builtin_cpu_supports("avx512dq") &&
           __builtin_cpu_supports("avx512vl");
}

}  // namespace platform::ml
