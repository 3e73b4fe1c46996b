#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/app/Sandbox.hpp"

// The sandbox's runtime folder is private as a desktop's is: the toolkit
// and other libraries warn about, or refuse, one that others may enter.
TEST(ProcessSandbox, TheRuntimeFolderIsPrivate) {
    const auto& root = app_test::useSandbox();
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    ASSERT_NE(runtime, nullptr);
    EXPECT_EQ(std::filesystem::path(runtime), root / "XDG_RUNTIME_DIR");
    struct stat info {};
    ASSERT_EQ(::stat(runtime, &info), 0);
    std::ostringstream mode;
    mode << std::oct << (info.st_mode & 07777);
    EXPECT_EQ(mode.str(), "700");
}
