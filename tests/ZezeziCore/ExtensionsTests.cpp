#include <gtest/gtest.h>

#include <filesystem>

#include "ZezeziCore/External/Hub/Extensions/ArrayExtensions.hpp"
#include "ZezeziCore/External/Hub/Extensions/HostExtensions.hpp"
#include "ZezeziCore/External/Hub/Extensions/NumberExtensions.hpp"
#include "ZezeziCore/External/Hub/Extensions/StringExtensions.hpp"
#include "tests/support/TemporaryFolder.hpp"

using namespace ZezeziCore;
namespace fs = std::filesystem;

TEST(ArrayExtensionsTests, GlobMatchingFollowsFnmatchWithoutFlags) {
    std::vector<std::string> names{"config.json", "a/b.json", ".hidden.json", "model.bin"};
    EXPECT_EQ(matching(names, "*.json"), (std::vector<std::string>{"config.json", "a/b.json", ".hidden.json"}));
    EXPECT_EQ(matching({"", "x"}, ""), (std::vector<std::string>{""}));
    EXPECT_EQ(matching({"a?c", "abc"}, "a\\?c"), (std::vector<std::string>{"a?c"}));
}

TEST(ArrayExtensionsTests, BatchesAndOrderedSet) {
    std::vector<int> seven{1, 2, 3, 4, 5, 6, 7};
    auto b = batched(seven, 3);
    ASSERT_EQ(b.size(), 3u);
    EXPECT_EQ(b[2], (std::vector<int>{7}));
    EXPECT_TRUE(batched(std::vector<int>{}, 3).empty());
    EXPECT_TRUE(batched(seven, -1).empty());
    EXPECT_THROW(batched(seven, 0), std::invalid_argument);
    EXPECT_EQ(orderedSet(std::vector<int>{3, 1, 3, 2, 1}), (std::vector<int>{3, 1, 2}));
}

TEST(StringExtensionsTests, TrimmingFromEnd) {
    EXPECT_EQ(trimmingFromEnd("1.5000", "0", 2), "1.50");
    EXPECT_EQ(trimmingFromEnd("1.5000", "0", 0), "1.5000");
    EXPECT_EQ(trimmingFromEnd("000", "0", 9), "");
    EXPECT_EQ(trimmingFromEnd("folder//", "/", 1), "folder/");
    // "e" followed by a combining accent is one character, not an "e".
    EXPECT_EQ(trimmingFromEnd("cafe\xCC\x81", "e", 3), "cafe\xCC\x81");
    EXPECT_EQ(trimmingFromEnd("cafe\xCC\x81", "e\xCC\x81", 3), "caf");
}

TEST(StringExtensionsTests, LastNaturalBoundary) {
    auto words = [](const std::string& s) {
        std::vector<int> out;
        bool in = false;
        for (char c : s) {
            if (c != ' ' && !in) out.push_back(0);
            in = c != ' ';
        }
        return out;
    };
    EXPECT_EQ(lastNaturalBoundary("Hola mundo. Esto sigue", 2, words), "Hola mundo. ");
    EXPECT_EQ(lastNaturalBoundary("Hola mundo. Esto acaba.", 2, words), "Hola mundo. Esto acaba.");
    EXPECT_EQ(lastNaturalBoundary("uno dos, tres cuatro", 2, words), "uno dos,");
    EXPECT_EQ(lastNaturalBoundary("uno dos tres", 2, words), "uno dos");
    EXPECT_FALSE(lastNaturalBoundary("palabra", 2, words));
}

TEST(NumberExtensionsTests, Rounding) {
    EXPECT_FLOAT_EQ(rounded(3.14159f, 2), 3.14f);
    EXPECT_FLOAT_EQ(rounded(-2.5f, 0), -3.0f);
    EXPECT_FLOAT_EQ(rounded(1234.0f, -2), 1200.0f);
}

TEST(HostExtensionsTests, PathsAndHostFacts) {
    const char* home = std::getenv("HOME");
    ASSERT_TRUE(home);
    EXPECT_EQ(resolveAbsolutePath("~/x"), std::string(home) + "/x");
    EXPECT_EQ(resolveAbsolutePath("/a/../b"), "/a/../b");
    EXPECT_EQ(resolveAbsolutePath("rel"), (fs::current_path() / "rel").string());

    parlox::testing::TemporaryFolder root;
    root.writeFile("proc/cpuinfo", "vendor_id\t: GenuineTest\ncpu family\t: 6\nmodel name\t: Test CPU 9000\n"
                                   "siblings\t: 8\ncpu cores\t: 4\n");
    root.writeFile("sys/devices/virtual/dmi/id/product_name", "Board X1\n");
    EXPECT_EQ(stringFromSysctl("hw.model", root.path()), "Board X1");
    EXPECT_EQ(stringFromSysctl("machdep.cpu.brand_string", root.path()), "Test CPU 9000");
    EXPECT_EQ(stringFromSysctl("machdep.cpu.core_count", root.path()), "4");
    EXPECT_EQ(stringFromSysctl("machdep.cpu.thread_count", root.path()), "8");
    EXPECT_EQ(stringFromSysctl("machdep.cpu.vendor", root.path()), "GenuineTest");
    EXPECT_EQ(stringFromSysctl("machdep.cpu.family", root.path()), "6");
    EXPECT_EQ(stringFromSysctl("kern.unknown", root.path()), "");
    EXPECT_FALSE(ProcessInfo::hwModel().empty());
    EXPECT_EQ(&ProcessInfo::hwModel(), &ProcessInfo::hwModel());
}
