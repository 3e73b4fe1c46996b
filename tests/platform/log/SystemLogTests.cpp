#include "platform/log/Signposter.hpp"
#include "platform/log/SystemLog.hpp"

#include <cstdlib>
#include <mutex>
#include <regex>
#include <syslog.h>
#include <tuple>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace platform;

struct Entry {
    LogLevel level;
    std::string subsystem, category, message;
};

// Captures entries instead of sending them to syslog.
class LogCapture : public ::testing::Test {
protected:
    void SetUp() override {
        previousLevel_ = SystemLog::minimumLevel();
        SystemLog::setSink([this](LogLevel level, const std::string& subsystem,
                                  const std::string& category, const std::string& message) {
            std::lock_guard lock(mutex_);
            entries_.push_back({level, subsystem, category, message});
        });
    }
    void TearDown() override {
        SystemLog::setSink(nullptr);
        SystemLog::setMinimumLevel(previousLevel_);
    }
    std::vector<Entry> entries() {
        std::lock_guard lock(mutex_);
        return entries_;
    }

    std::mutex mutex_;
    std::vector<Entry> entries_;
    LogLevel previousLevel_ = LogLevel::info;
};

TEST_F(LogCapture, LevelsBelowTheMinimumAreDropped) {
    SystemLog::setMinimumLevel(LogLevel::info);
    SystemLogger logger("qz.tamo.Parlox", "app");
    EXPECT_FALSE(logger.isEnabled(LogLevel::debug));
    logger.debug("oculto");
    logger.info("Grabación iniciada");
    logger.error("Sin cuota");
    SystemLog::setMinimumLevel(LogLevel::error);
    logger.info("también oculto");
    auto got = entries();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].level, LogLevel::info);
    EXPECT_EQ(got[0].subsystem, "qz.tamo.Parlox");
    EXPECT_EQ(got[0].category, "app");
    EXPECT_EQ(got[0].message, "Grabación iniciada");
    EXPECT_EQ(got[1].level, LogLevel::error);
    EXPECT_STREQ(logLevelName(LogLevel::debug), "debug");
}

TEST(SystemLog, EachLevelHasItsOwnPriorityAndName) {
    const std::tuple<LogLevel, int, const char*> cases[] = {
        {LogLevel::debug, LOG_DEBUG, "debug"},       {LogLevel::info, LOG_INFO, "info"},
        {LogLevel::warning, LOG_WARNING, "warning"}, {LogLevel::error, LOG_ERR, "error"},
        {LogLevel::fault, LOG_CRIT, "fault"}};
    for (const auto& [level, priority, name] : cases) {
        EXPECT_EQ(SystemLog::priority(level), priority) << name;
        EXPECT_STREQ(logLevelName(level), name);
    }
}

TEST_F(LogCapture, WarningsAndFaultsPassAnErrorMinimumOnlyWhenAboveIt) {
    SystemLog::setMinimumLevel(LogLevel::error);
    SystemLogger logger("s", "c");
    logger.warning("aviso");
    logger.error("error");
    logger.fault("fallo");
    auto got = entries();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].level, LogLevel::error);
    EXPECT_EQ(got[1].level, LogLevel::fault);
}

TEST(SystemLog, EntryCarriesSubsystemAndCategory) {
    EXPECT_EQ(SystemLog::formatEntry("engine", "TranscribeTask", "línea\nsegunda"),
              "[engine/TranscribeTask] línea\nsegunda");
}

TEST_F(LogCapture, ConcurrentLoggersKeepWholeMessages) {
    SystemLog::setMinimumLevel(LogLevel::info);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            SystemLogger logger("s", std::string("c").append(std::to_string(t)));
            for (int i = 0; i < 250; ++i) logger.info(std::string(50, static_cast<char>('a' + t)));
        });
    for (auto& thread : threads) thread.join();
    auto got = entries();
    ASSERT_EQ(got.size(), 1000u);
    for (const auto& entry : got)
        EXPECT_EQ(entry.message, std::string(50, static_cast<char>('a' + (entry.category[1] - '0'))));
}

TEST_F(LogCapture, SignpostIntervalsAreMeasuredAtDebug) {
    SystemLog::setMinimumLevel(LogLevel::debug);
    Signposter signposter("engine", "AudioEncoding");
    ASSERT_TRUE(signposter.isEnabled());
    SignpostInterval interval = signposter.beginInterval("EncodeAudio");
    EXPECT_TRUE(interval.open);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const double seconds = signposter.endInterval("EncodeAudio", interval);
    EXPECT_FALSE(interval.open);
    EXPECT_GE(seconds, 0.005);

    // A second end is reported, not fatal.
    EXPECT_EQ(signposter.endInterval("EncodeAudio", interval), 0);

    auto got = entries();
    ASSERT_EQ(got.size(), 3u);
    for (const auto& entry : got) {
        EXPECT_EQ(entry.level, LogLevel::debug);
        EXPECT_EQ(entry.category, "AudioEncoding");
    }
    const std::string id = std::string(" [").append(std::to_string(interval.id)).append("]");
    EXPECT_EQ(got[0].message, "begin EncodeAudio" + id);
    EXPECT_TRUE(std::regex_match(got[1].message, std::regex("end EncodeAudio \\[\\d+\\] \\d+\\.\\d{3} ms")))
        << got[1].message;
    EXPECT_EQ(got[2].message, "end EncodeAudio" + id + " [Error] Interval already ended");
}

TEST_F(LogCapture, DisabledSignpostsLeaveTheIntervalOpen) {
    SystemLog::setMinimumLevel(LogLevel::info);
    Signposter signposter("engine", "Decode");
    SignpostInterval interval = signposter.beginInterval("Decode");
    EXPECT_TRUE(interval.open);
    EXPECT_EQ(signposter.endInterval("Decode", interval), 0);
    EXPECT_TRUE(interval.open);
    EXPECT_TRUE(entries().empty());
}

TEST_F(LogCapture, ScopedSignpostEndsOnEveryWayOut) {
    SystemLog::setMinimumLevel(LogLevel::debug);
    Signposter signposter("engine", "TranscribeTask");
    try {
        ScopedSignpost scope(signposter, "TranscribeAudio");
        throw std::runtime_error("fallo");
    } catch (const std::runtime_error&) {
    }
    auto got = entries();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].message.rfind("end TranscribeAudio", 0), 0u);
    EXPECT_EQ(got[0].message.rfind("begin TranscribeAudio [", 0), 0u);
    EXPECT_NE(signposter.beginInterval("x").id, signposter.beginInterval("x").id);
}

// The variable is read once, at the first use in a process: each case runs
// in a fresh child.
TEST(SystemLogStart, LevelFromTheEnvironment) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::pair<const char*, LogLevel> cases[] = {
        {"debug", LogLevel::debug}, {"error", LogLevel::error},     {"warning", LogLevel::warning},
        {"info", LogLevel::info},   {"nonsense", LogLevel::info}};
    for (const auto& [value, level] : cases) {
        EXPECT_EXIT(
            {
                ::setenv("PARLOX_LOG_LEVEL", value, 1);
                std::exit(10 + static_cast<int>(SystemLog::minimumLevel()));
            },
            ::testing::ExitedWithCode(10 + static_cast<int>(level)), "")
            << value;
    }
}

TEST(SystemLogExit, ThreadsStillLoggingDoNotBreakTheExit) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            SystemLog::setSink([](LogLevel, const std::string&, const std::string&,
                                  const std::string&) {});
            for (int t = 0; t < 2; ++t)
                std::thread([] {
                    SystemLogger logger("s", "c");
                    while (true) logger.error("sigue");
                }).detach();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
