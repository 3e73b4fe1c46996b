#include <gtest/gtest.h>

#include "platform/ml/CpuFeatures.hpp"

using namespace platform::ml;

// The levels are spelled out so any compiler can build them; where the
// compiler knows the level names itself, both answers agree on this CPU.
TEST(CpuFeatures, AgreeWithTheCompilersOwnLevels) {
#if defined(__clang__)
    GTEST_SKIP() << "the compiler (clang) has no builtin that knows the level names";
#else
    __builtin_cpu_init();
    EXPECT_EQ(cpuHasF16C(), static_cast<bool>(__builtin_cpu_supports("f16c")));
    EXPECT_EQ(cpuIsX86_64v3(), static_cast<bool>(__builtin_cpu_supports("x86-64-v3")));
    EXPECT_EQ(cpuIsX86_64v4(), static_cast<bool>(__builtin_cpu_supports("x86-64-v4")));
#endif
}
