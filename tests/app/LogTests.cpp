#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/Support/Log.hpp"
#include "platform/foundation/Date.hpp"
#include "tests/app/Sandbox.hpp"
#include "tests/writing/TestSupport.hpp"

using Parlox::Log;
using namespace writing_test;

namespace {

// The log's place is fixed on first use for the whole process: the process
// sandbox gives it a private state folder before that happens.
fs::path logSandbox() { return app_test::useSandbox() / "XDG_STATE_HOME"; }

std::vector<std::string> logLines() {
    Log::flush();
    return lines(readFile(Log::fileURL()));
}

}  // namespace

TEST(Log, LineFormat) {
    const platform::Date date{std::chrono::seconds(1796713392) + std::chrono::milliseconds(345)};
    EXPECT_EQ(Log::line(date, false, "hola"), "2026-12-08T07:03:12.345Z INFO  hola\n");
    EXPECT_EQ(Log::line(date, true, "mal"), "2026-12-08T07:03:12.345Z ERROR mal\n");
}

TEST(Log, WritesToTheLogsFolderAndRecreatesADeletedFile) {
    logSandbox();
    EXPECT_EQ(Log::fileURL(), logSandbox() / "Parlox" / "Logs" / "Parlox.log");
    Log::info("primera");
    Log::error("segunda\ncontinuación");
    auto before = logLines();
    ASSERT_GE(before.size(), 3u);
    EXPECT_TRUE(std::regex_match(before[before.size() - 3],
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z INFO  primera)")));
    EXPECT_TRUE(std::regex_match(before[before.size() - 2], std::regex(R"(\S+Z ERROR segunda)")));
    EXPECT_EQ(before.back(), "continuación");

    fs::remove_all(Log::fileURL().parent_path());
    Log::info("otra vez");
    auto after = logLines();
    ASSERT_EQ(after.size(), 1u);
    EXPECT_NE(after[0].find(" INFO  otra vez"), std::string::npos);
}

TEST(Log, ConcurrentCallersNeverTearALine) {
    logSandbox();
    fs::remove(Log::fileURL());
    constexpr int threads = 8, perThread = 300;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([t] {
            for (int i = 0; i < perThread; ++i) Log::info("hilo " + std::to_string(t) + " linea " + std::to_string(i));
        });
    }
    for (auto& w : workers) w.join();
    auto all = logLines();
    ASSERT_EQ(all.size(), static_cast<std::size_t>(threads * perThread));
    std::vector<int> next(threads, 0);
    const std::regex format(R"(\S+Z INFO  hilo (\d+) linea (\d+))");
    for (const auto& line : all) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, format)) << line;
        int t = std::stoi(m[1]);
        EXPECT_EQ(std::stoi(m[2]), next[t]++) << "thread " << t << " out of order";
    }
}
