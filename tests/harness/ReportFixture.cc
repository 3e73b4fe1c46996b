// The tests whose outcomes tests/harness/test_report_test.sh has ctest
// report: one that runs, one disabled, and skips for the reasons the skip
// list of that test allows or not.
#include <gtest/gtest.h>

TEST(Fixture, Runs) { EXPECT_TRUE(true); }
TEST(Fixture, DISABLED_Off) {}
TEST(Fixture, SkipsForTheListedReason) { GTEST_SKIP() << "the <machine>'s \"feature\" & more is missing"; }
TEST(Fixture, SkipsForAnotherReason) { GTEST_SKIP() << "something else went wrong"; }
TEST(Fixture, SkipsUnlisted) { GTEST_SKIP() << "not listed"; }
TEST(Fixture, SkipsInTheOtherPass) { GTEST_SKIP() << "only there"; }
