#include <gtest/gtest.h>

#include "AudioTestSupport.hpp"
#include "DovuzudUza/Core/Audio/AudioProcessor.hpp"

using namespace DovuzudUza;
using audio_test::LogCapture;

TEST(AudioProcessorWindow, PadsAndTrimsFromTheStart) {
    std::vector<float> samples(100);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<float>(i + 1);
    struct Case {
        int64_t startAt, length, copied;
    };
    for (const Case& c : std::vector<Case>{{0, 100, 100}, {20, 80, 80}, {99, 50, 1}, {0, 30, 30}, {10, 400, 90}}) {
        AudioProcessor processor;
        auto array = processor.padOrTrim(samples, c.startAt, c.length);
        ASSERT_TRUE(array) << c.startAt;
        ASSERT_EQ(array->shape(), (std::vector<int64_t>{c.length}));
        EXPECT_EQ(array->dataType(), platform::ml::DataType::float32);
        const auto values = array->toFloatVector();
        for (int64_t i = 0; i < c.length; ++i)
            ASSERT_EQ(values[i], i < c.copied ? samples[c.startAt + i] : 0.0f) << c.startAt << " " << i;
    }
    auto plain = AudioProcessor::padOrTrimAudio(samples, 10, 50, false);
    auto saved = AudioProcessor::padOrTrimAudio(samples, 10, 50, true);
    EXPECT_EQ(plain->toFloatVector(), saved->toFloatVector());
}

TEST(AudioProcessorWindow, StartOutsideTheInputGivesNothing) {
    const std::vector<float> samples(10, 1.0f);
    for (auto [input, start] : std::vector<std::pair<std::vector<float>, int64_t>>{{samples, 10}, {samples, -1}, {{}, 0}}) {
        LogCapture log;
        EXPECT_EQ(AudioProcessor::padOrTrimAudio(input, start, 480000), nullptr);
        EXPECT_EQ(log.texts(), std::vector<std::string>{"startIndex is outside the buffer size"});
    }
}

TEST(AudioProcessorWindow, PurgeKeepsTheNewestSamples) {
    struct Probe : AudioProcessor {
        using AudioProcessor::processBuffer;
    } processor;
    EXPECT_TRUE(processor.relativeEnergy().empty());
    processor.processBuffer({1, 2, 3});
    processor.processBuffer({4, 5});
    processor.purgeAudioSamples(10);
    EXPECT_EQ(processor.audioSamples(), (std::vector<float>{1, 2, 3, 4, 5}));
    processor.purgeAudioSamples(2);
    EXPECT_EQ(processor.audioSamples(), (std::vector<float>{4, 5}));
    EXPECT_EQ(processor.audioEnergy().size(), 2u);
    processor.purgeAudioSamples(0);
    EXPECT_TRUE(processor.audioSamples().empty());
}
