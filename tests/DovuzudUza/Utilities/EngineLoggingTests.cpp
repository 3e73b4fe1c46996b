#include <gtest/gtest.h>

#include <mutex>

#include "DovuzudUza/Core/AudioEncoder.hpp"
#include "DovuzudUza/Core/FeatureExtractor.hpp"
#include "DovuzudUza/Utilities/EngineLogging.hpp"
#include "platform/log/SystemLog.hpp"

using namespace DovuzudUza;

namespace {

struct Entries {
    std::mutex mutex;
    std::vector<std::string> lines;  // "category: message"
    explicit Entries(platform::LogLevel level) {
        platform::SystemLog::setMinimumLevel(level);
        platform::SystemLog::setSink([this](platform::LogLevel, const std::string&, const std::string& category,
                                            const std::string& message) {
            std::lock_guard lock(mutex);
            lines.push_back(category + ": " + message);
        });
    }
    ~Entries() {
        platform::SystemLog::setSink({});
        platform::SystemLog::setMinimumLevel(platform::LogLevel::info);
    }
};

}  // namespace

TEST(EngineLogging, EachAreaHasItsOwnLoggerAndSignposter) {
    EXPECT_EQ(EngineLogging::AudioEncoding::logger().category(), "AudioEncoding");
    EXPECT_EQ(EngineLogging::FeatureExtractor::logger().category(), "FeatureExtractor");
    EXPECT_EQ(EngineLogging::TranscribeTask::logger().category(), "TranscribeTask");
    EXPECT_EQ(EngineLogging::TranscribeTask::logger().subsystem(), EngineLogging::AudioEncoding::logger().subsystem());
    EXPECT_EQ(&EngineLogging::TranscribeTask::signposter(), &EngineLogging::TranscribeTask::signposter());
    // The stages mark their intervals on the same signposters.
    EXPECT_EQ(&AudioEncoder::signposter(), &EngineLogging::AudioEncoding::signposter());
    EXPECT_EQ(&FeatureExtractor::signposter(), &EngineLogging::FeatureExtractor::signposter());
}

TEST(EngineLogging, AnIntervalEndedTwiceIsMarkedAndNothingFails) {
    Entries entries(platform::LogLevel::debug);
    const auto& signposter = EngineLogging::TranscribeTask::signposter();
    auto interval = EngineLogging::beginSignpost("Decode", signposter);
    EngineLogging::endSignpost("Decode", interval, signposter);
    EngineLogging::endSignpost("Decode", interval, signposter);
    ASSERT_EQ(entries.lines.size(), 3u);
    EXPECT_EQ(entries.lines[0].rfind("TranscribeTask: begin Decode", 0), 0u);
    EXPECT_EQ(entries.lines[1].find("[Error]"), std::string::npos);
    EXPECT_NE(entries.lines[2].find("[Error] Interval already ended"), std::string::npos);
}

TEST(EngineLogging, DisabledSignpostsWriteNothingAndLeaveTheIntervalOpen) {
    Entries entries(platform::LogLevel::info);
    const auto& signposter = EngineLogging::AudioEncoding::signposter();
    auto interval = EngineLogging::beginSignpost("EncodeAudio", signposter);
    EXPECT_TRUE(interval.open);
    EngineLogging::endSignpost("EncodeAudio", interval, signposter);
    EXPECT_TRUE(interval.open);
    EXPECT_TRUE(entries.lines.empty());
}
