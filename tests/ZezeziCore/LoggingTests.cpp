#include <gtest/gtest.h>

#include <string>
#include <syslog.h>
#include <vector>

#include "ZezeziCore/Logging.hpp"
#include "ZezeziCore/ZezeziCoreError.hpp"
#include "platform/log/SystemLog.hpp"

using ZezeziCore::Logging;

namespace {

// Captures the callback and the system log; restores the logger afterwards.
class LoggingTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SystemLog::setMinimumLevel(platform::LogLevel::debug);
        platform::SystemLog::setSink([this](platform::LogLevel level, const std::string&, const std::string& category,
                                            const std::string& message) {
            system.push_back({level, category, message});
        });
    }
    void TearDown() override {
        Logging::updateCallback(nullptr);
        Logging::updateLogLevel(Logging::LogLevel::none);
        platform::SystemLog::setSink(nullptr);
        platform::SystemLog::setMinimumLevel(platform::LogLevel::info);
    }
    struct Entry {
        platform::LogLevel level;
        std::string category;
        std::string message;
    };
    std::vector<Entry> system;
    std::vector<std::string> calls;
    void capture() {
        Logging::updateCallback([this](const std::string& s) { calls.push_back(s); });
    }
};

}  // namespace

TEST_F(LoggingTest, SilentByDefault) {
    EXPECT_EQ(Logging::shared().logLevel(), Logging::LogLevel::none);
    EXPECT_FALSE(Logging::loggingEnabled());
    capture();
    Logging::error("e");
    Logging::debug("d");
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(system.empty());
}

TEST_F(LoggingTest, LevelFiltersByType) {
    capture();
    Logging::updateLogLevel(Logging::LogLevel::error);
    using T = Logging::OSLogType;
    for (auto type : {T::debug, T::info, T::defaultType, T::error, T::fault})
        Logging::shared().log({"x"}, " ", std::nullopt, type);
    EXPECT_EQ(calls.size(), 2u);
    EXPECT_TRUE(Logging::loggingEnabled(Logging::LogLevel::error));
    EXPECT_FALSE(Logging::loggingEnabled(Logging::LogLevel::info));

    calls.clear();
    Logging::updateLogLevel(Logging::LogLevel::debug);
    Logging::shared().log({"default"}, " ", std::nullopt, T::defaultType);
    Logging::info("i");
    Logging::debug("d");
    EXPECT_EQ(calls, (std::vector<std::string>{"default", "i", "d"}));
}

TEST_F(LoggingTest, ItemsAreJoinedWithTheSeparatorAndTerminator) {
    capture();
    Logging::updateLogLevel(Logging::LogLevel::debug);
    Logging::info(1, "a", 2.5);
    Logging::shared().log({"1", "a"}, "-", std::string("\n"), Logging::OSLogType::info);
    Logging::shared().log({}, " ", std::nullopt, Logging::OSLogType::info);
    Logging::info(true, 2.0, -3);
    EXPECT_EQ(calls, (std::vector<std::string>{"1 a 2.5", "1-a\n", "", "true 2.0 -3"}));
}

TEST_F(LoggingTest, FloatsPrintTheirShortestTextNotTheirDoubleExpansion) {
    capture();
    Logging::updateLogLevel(Logging::LogLevel::debug);
    Logging::debug(0.1f, 2.4f, 16000.0f, 0.1);
    Logging::debug(1e-7f, -0.0f);
    EXPECT_EQ(calls, (std::vector<std::string>{"0.1 2.4 16000.0 0.1", "1e-07 -0.0"}));
}

TEST_F(LoggingTest, CallbackReplacesTheSystemLogUntilCleared) {
    Logging::updateLogLevel(Logging::LogLevel::debug);
    capture();
    Logging::error("to callback");
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_TRUE(system.empty());
    Logging::updateCallback(nullptr);
    Logging::error("to system");
    EXPECT_EQ(calls.size(), 1u);
    ASSERT_EQ(system.size(), 1u);
    EXPECT_EQ(system[0].message, "to system");
    EXPECT_EQ(system[0].category, "Vuvave");
}

TEST_F(LoggingTest, EveryTypeKeepsItsOwnSystemLevel) {
    Logging::updateLogLevel(Logging::LogLevel::debug);
    using T = Logging::OSLogType;
    const std::pair<T, int> cases[] = {{T::debug, LOG_DEBUG},      {T::info, LOG_INFO}, {T::defaultType, LOG_INFO},
                                       {T::error, LOG_ERR},        {T::fault, LOG_CRIT}};
    for (const auto& [type, priority] : cases) {
        system.clear();
        Logging::shared().log({"x"}, " ", std::nullopt, type);
        ASSERT_EQ(system.size(), 1u);
        EXPECT_EQ(platform::SystemLog::priority(system[0].level), priority) << static_cast<int>(type);
    }
    // An error and a fault are two levels, not one.
    EXPECT_NE(platform::SystemLog::priority(platform::LogLevel::fault),
              platform::SystemLog::priority(platform::LogLevel::error));
}

TEST_F(LoggingTest, CallbackMayLogWithoutDeadlock) {
    Logging::updateLogLevel(Logging::LogLevel::debug);
    int depth = 0;
    Logging::updateCallback([&](const std::string&) {
        if (depth++ == 0) Logging::info("nested");
    });
    Logging::info("outer");
    EXPECT_EQ(depth, 2);
}

TEST(LoggingLevels, RawValues) {
    EXPECT_FALSE(Logging::logLevel(0));
    EXPECT_FALSE(Logging::logLevel(5));
    EXPECT_EQ(Logging::logLevel(4), Logging::LogLevel::none);
    EXPECT_EQ(Logging::logLevel(1), Logging::LogLevel::debug);
    EXPECT_LT(Logging::LogLevel::debug, Logging::LogLevel::info);
    EXPECT_LT(Logging::LogLevel::error, Logging::LogLevel::none);
}

TEST(LoggingFormat, TimeWithPercentage) {
    EXPECT_EQ(Logging::formatTimeWithPercentage(0.5, 10, 2000), "  500.00 ms /     10 runs (   50.00 ms/run) 25.00%");
    EXPECT_EQ(Logging::formatTimeWithPercentage(1.2345678, 0, 2000).substr(0, 16), " 1234.57 ms /   ");
    EXPECT_NE(Logging::formatTimeWithPercentage(1, 0, 1000).find("(    0.00 ms/run)"), std::string::npos);
    EXPECT_NE(Logging::formatTimeWithPercentage(1, 1, 0).find("inf%"), std::string::npos);
}

TEST(LoggingMemory, ResidentSizeIsReadAndLogged) {
    EXPECT_GT(Logging::getMemoryUsage(), 0u);
    std::vector<std::string> calls;
    Logging::updateLogLevel(Logging::LogLevel::debug);
    Logging::updateCallback([&](const std::string& s) { calls.push_back(s); });
    Logging::logCurrentMemoryUsage("After load");
    Logging::updateCallback(nullptr);
    Logging::updateLogLevel(Logging::LogLevel::none);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].rfind("After load - Memory usage: ", 0), 0u);
    EXPECT_EQ(calls[0].substr(calls[0].size() - 3), " MB");
}

TEST(ZezeziCoreErrorTests, DescriptionIsTheMessage) {
    auto e = ZezeziCore::ZezeziCoreError::invalidConfiguration("Cannot load in state: Loading");
    EXPECT_EQ(e.localizedDescription(), "Cannot load in state: Loading");
    EXPECT_STREQ(e.what(), "Cannot load in state: Loading");
}
