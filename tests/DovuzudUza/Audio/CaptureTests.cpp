#include <gtest/gtest.h>

#include <cstring>

#include "AudioTestSupport.hpp"
#include "DovuzudUza/Core/Audio/AudioProcessor.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "platform/audio/AudioError.hpp"
#include "platform/audio/fake/FakeAudioSystem.hpp"

using namespace DovuzudUza;
using audio_test::LogCapture;
using platform::audio::AudioFormat;
using platform::audio::FakeAudioSystem;
using platform::audio::FakeCaptureEngine;
using platform::audio::PcmBuffer;
using EngineState = FakeCaptureEngine::State;

namespace {

struct CaptureTest : ::testing::Test {
    std::shared_ptr<FakeAudioSystem> mic = std::make_shared<FakeAudioSystem>();

    PcmBuffer buffer(AudioFormat format, const std::vector<float>& firstChannel) {
        PcmBuffer b(format, static_cast<int64_t>(firstChannel.size()));
        std::copy(firstChannel.begin(), firstChannel.end(), b.channel(0));
        for (uint32_t c = 1; c < format.channelCount; ++c) std::fill(b.channel(c), b.channel(c) + b.frameCapacity(), 0.9f);
        b.setFrameLength(static_cast<int64_t>(firstChannel.size()));
        return b;
    }
};

}  // namespace

TEST_F(CaptureTest, ScriptedMicrophoneGivesSixteenKilohertzMonoWithLevels) {
    mic->inputFormat = AudioFormat{48000, 2};
    AudioProcessor processor{mic};
    std::vector<size_t> callbackSizes;
    processor.startRecordingLive(std::nullopt, [&](const std::vector<float>& s) { callbackSizes.push_back(s.size()); });
    auto engine = mic->lastEngine();
    EXPECT_EQ(engine->state, EngineState::running);
    EXPECT_EQ(engine->framesPerBuffer, 1600u);

    // Two seconds of a steady tone in the first channel, in 0.1 s buffers.
    const auto left = audio_test::tone(96000, 48000, 440, 0.5f);
    std::vector<float> interleaved;
    for (float s : left) {
        interleaved.push_back(s);
        interleaved.push_back(0.9f);  // a loud second channel is not used
    }
    engine->framesPerBuffer = 4800;
    EXPECT_EQ(mic->play(interleaved), 20);

    const auto samples = processor.audioSamples();
    EXPECT_NEAR(static_cast<double>(samples.size()), 32000, 40);
    EXPECT_EQ(callbackSizes.size(), 20u);
    float peak = 0;
    for (size_t i = 1000; i < samples.size(); ++i) peak = std::max(peak, std::fabs(samples[i]));
    EXPECT_NEAR(peak, 0.5f, 0.02);

    const auto energy = processor.audioEnergy();
    ASSERT_EQ(energy.size(), 20u);
    EXPECT_EQ(energy[0].rel, 0.0f);  // measured against nothing yet
    EXPECT_NEAR(energy[10].avg, 0.5f / std::sqrt(2.0f), 0.01);
    EXPECT_NEAR(energy[10].max, 0.5f, 0.01);
    EXPECT_NEAR(energy[10].rel, 0.0f, 0.01);  // a steady tone is its own floor
    EXPECT_EQ(processor.relativeEnergy().size(), 20u);
}

TEST_F(CaptureTest, LevelRisesAboveTheQuietFloor) {
    mic->inputFormat = AudioFormat{16000, 1};
    AudioProcessor processor{mic};
    processor.startRecordingLive();
    mic->deliver(buffer({16000, 1}, std::vector<float>(1600, 0.001f)));
    mic->deliver(buffer({16000, 1}, std::vector<float>(1600, 0.001f)));
    mic->deliver(buffer({16000, 1}, std::vector<float>(1600, 0.1f)));
    const auto rel = processor.relativeEnergy();
    ASSERT_EQ(rel.size(), 3u);
    EXPECT_EQ(rel[0], 0.0f);
    EXPECT_NEAR(rel[1], 0.0f, 1e-5);
    EXPECT_NEAR(rel[2], 2.0f / 3.0f, 1e-4);
    // A 16 kHz input is taken as delivered.
    EXPECT_EQ(processor.audioSamples().size(), 4800u);
    EXPECT_EQ(processor.audioSamples()[4000], 0.1f);
}

TEST_F(CaptureTest, PartialReadsAreSlicesOfTheWholeArrays) {
    mic->inputFormat = AudioFormat{16000, 1};
    AudioProcessor processor{mic};
    processor.startRecordingLive();
    for (float level : {0.001f, 0.01f, 0.1f, 0.5f}) mic->deliver(buffer({16000, 1}, std::vector<float>(1600, level)));
    const auto samples = processor.audioSamples();
    const auto rel = processor.relativeEnergy();
    EXPECT_EQ(processor.audioSampleCount(), 6400);
    EXPECT_EQ(processor.relativeEnergyCount(), 4);

    struct Case {
        int64_t from, to;
        size_t begin, end;  // the slice expected, in the whole array
    };
    for (const auto& c : {Case{0, 6400, 0, 6400}, Case{1599, 3201, 1599, 3201}, Case{-5, 10, 0, 10},
                          Case{6000, 9000, 6000, 6400}, Case{7000, 8000, 6400, 6400}, Case{300, 200, 300, 300}}) {
        EXPECT_EQ(processor.audioSamplesBetween(c.from, c.to),
                  std::vector<float>(samples.begin() + static_cast<long>(c.begin), samples.begin() + static_cast<long>(c.end)))
            << c.from << " " << c.to;
    }
    for (const auto& [from, begin] : {std::pair<int64_t, size_t>{0, 0}, {2, 2}, {-1, 0}, {4, 4}, {9, 4}})
        EXPECT_EQ(processor.relativeEnergySince(from), std::vector<float>(rel.begin() + static_cast<long>(begin), rel.end()))
            << from;

    // A new start empties both.
    processor.startRecordingLive();
    EXPECT_EQ(processor.audioSampleCount(), 0);
    EXPECT_EQ(processor.relativeEnergyCount(), 0);
}

TEST_F(CaptureTest, SuppressedInputIsSilenceWhileCaptureGoesOn) {
    mic->inputFormat = AudioFormat{16000, 1};
    AudioProcessor processor{mic};
    std::vector<float> seen;
    processor.setInputSuppressed(true);
    processor.startRecordingLive(std::nullopt, [&](const std::vector<float>& s) { seen = s; });
    mic->deliver(buffer({16000, 1}, std::vector<float>(1600, 0.5f)));
    EXPECT_EQ(processor.audioSamples(), std::vector<float>(1600, 0.0f));
    EXPECT_EQ(seen, std::vector<float>(1600, 0.0f));
    EXPECT_EQ(processor.audioEnergy()[0], (AudioEnergyReading{0, 0, 0, 0}));
    processor.stopRecording();
    processor.startRecordingLive();
    EXPECT_TRUE(processor.isInputSuppressed());
}

TEST_F(CaptureTest, StartingAgainStopsTheRunningCaptureFirst) {
    mic->inputFormat = AudioFormat{16000, 1};
    AudioProcessor processor{mic};
    int firstCalls = 0;
    processor.startRecordingLive(std::nullopt, [&](const std::vector<float>&) { ++firstCalls; });
    auto first = mic->lastEngine();
    mic->deliver(buffer({16000, 1}, std::vector<float>(1600, 0.2f)));

    processor.startRecordingLive();
    auto second = mic->lastEngine();
    ASSERT_NE(first, second);
    EXPECT_EQ(first->state, EngineState::stopped);
    EXPECT_TRUE(first->destroyed);
    EXPECT_FALSE(first->tapInstalled);
    EXPECT_EQ(second->state, EngineState::running);
    EXPECT_TRUE(processor.audioSamples().empty());
    EXPECT_FALSE(processor.audioBufferCallback());
    EXPECT_FALSE(FakeAudioSystem::deliver(first, buffer({16000, 1}, std::vector<float>(1600, 0.2f))));
    mic->deliver(buffer({16000, 1}, std::vector<float>(1600, 0.2f)));
    EXPECT_EQ(firstCalls, 1);
    EXPECT_EQ(processor.audioSamples().size(), 1600u);
}

TEST_F(CaptureTest, PauseStopAndResume) {
    mic->inputFormat = AudioFormat{16000, 1};
    mic->devices = std::vector<platform::audio::InputDevice>{{7, "USB", 1}, {9, "Other", 2}};
    AudioProcessor processor{mic};
    processor.startRecordingLive(7);
    mic->deliver(buffer({16000, 1}, std::vector<float>(1600, 0.2f)));
    processor.pauseRecording();
    EXPECT_EQ(mic->lastEngine()->state, EngineState::paused);
    EXPECT_FALSE(mic->deliver(buffer({16000, 1}, std::vector<float>(1600, 0.2f))));
    processor.resumeRecordingLive(7);
    EXPECT_EQ(mic->lastEngine()->state, EngineState::running);
    mic->deliver(buffer({16000, 1}, std::vector<float>(1600, 0.2f)));
    EXPECT_EQ(processor.audioSamples().size(), 3200u);

    // After a stop, resuming on the same device captures nothing.
    processor.stopRecording();
    const auto engines = mic->engines().size();
    processor.resumeRecordingLive(7);
    EXPECT_EQ(mic->engines().size(), engines);
    EXPECT_FALSE(processor.isCapturing());

    // Another device: a new engine, and the samples carry on.
    processor.resumeRecordingLive(9);
    EXPECT_EQ(mic->engines().size(), engines + 1);
    EXPECT_EQ(mic->lastEngine()->device, 9u);
    mic->deliver(buffer({16000, 1}, std::vector<float>(1600, 0.2f)));
    EXPECT_EQ(processor.audioSamples().size(), 4800u);
}

TEST_F(CaptureTest, FailuresAndRefusedDevices) {
    mic->inputFormat = AudioFormat{16000, 1};
    mic->refusedDevices = {42};
    {
        LogCapture log;
        AudioProcessor processor{mic};
        processor.startRecordingLive(42);
        EXPECT_TRUE(audio_test::contains(log.texts(), "Error setting Audio Unit property: -2"));
        EXPECT_FALSE(mic->lastEngine()->device.has_value());
        EXPECT_TRUE(processor.isCapturing());
    }
    mic->failStart = true;
    AudioProcessor processor{mic};
    EXPECT_THROW(processor.startRecordingLive(), platform::audio::AudioError);
    EXPECT_FALSE(processor.isCapturing());
    mic->failStart = false;
    mic->inputFormat = AudioFormat{0, 0};
    try {
        processor.startRecordingLive();
        ADD_FAILURE();
    } catch (const WhisperError& e) {
        EXPECT_EQ(e, WhisperError::audioProcessingFailed("Failed to create node format"));
    }
}

TEST_F(CaptureTest, DebugLineAtEveryTwoSecondsOfSamples) {
    mic->inputFormat = AudioFormat{16000, 1};
    AudioProcessor processor{mic};
    processor.startRecordingLive();
    LogCapture log;
    for (int i = 0; i < 40; ++i) mic->deliver(buffer({16000, 1}, std::vector<float>(1600, 0.0f)));
    mic->deliver(buffer({16000, 1}, std::vector<float>(1000, 0.0f)));
    mic->deliver(buffer({16000, 1}, std::vector<float>(30000, 0.0f)));  // steps over 64000 + 32000
    int lines = 0;
    for (const auto& text : log.texts()) lines += text.rfind("Current audio size: ", 0) == 0;
    EXPECT_EQ(lines, 2);
    EXPECT_TRUE(audio_test::contains(log.texts(), "Current audio size: 32000 samples, most recent buffer: 1600 samples, "
                                                  "most recent energy: (rel: 0.0, avg: 0.0, max: 0.0, min: 0.0)"));
}

TEST_F(CaptureTest, StreamingCaptureEndsWithItsStream) {
    mic->inputFormat = AudioFormat{16000, 1};
    AudioProcessor processor{mic};
    auto stream = processor.startStreamingRecordingLive();
    mic->deliver(buffer({16000, 1}, std::vector<float>(1600, 0.3f)));
    auto first = stream->next();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size(), 1600u);
    auto engine = mic->lastEngine();
    // Ending the stream stops the capture at once, with no further buffer.
    stream->finish();
    EXPECT_EQ(engine->state, EngineState::stopped);
    EXPECT_FALSE(processor.isCapturing());
    EXPECT_FALSE(processor.audioBufferCallback());

    // Also while paused, when no buffer would come to notice it.
    auto paused = processor.startStreamingRecordingLive();
    auto pausedEngine = mic->lastEngine();
    processor.pauseRecording();
    paused->finish();
    EXPECT_EQ(pausedEngine->state, EngineState::stopped);
    EXPECT_FALSE(processor.isCapturing());

    // A stream that outlives its processor ends without touching it.
    auto orphan = std::make_unique<AudioProcessor>(mic)->startStreamingRecordingLive();
    orphan->finish();

    mic->failStart = true;
    auto failed = processor.startStreamingRecordingLive();
    EXPECT_THROW(failed->next(), platform::audio::AudioError);
}

TEST_F(CaptureTest, DevicesWithInputOnly) {
    mic->devices = std::vector<platform::audio::InputDevice>{{1, "Mic", 1}, {2, "Speakers", 0}, {3, "", 2}};
    EXPECT_EQ(AudioProcessor::getAudioDevices(*mic), (std::vector<AudioDevice>{{1, "Mic"}, {3, ""}}));
    mic->devices = std::nullopt;
    LogCapture log;
    EXPECT_TRUE(AudioProcessor::getAudioDevices(*mic).empty());
    EXPECT_TRUE(audio_test::contains(log.texts(), "Error: Unable to get the number of audio devices."));
    mic->permission = false;
    EXPECT_FALSE(AudioProcessor::requestRecordPermission(*mic));
}

TEST(AudioProcessorWaveform, PixelsAreTheSampleBytes) {
    const std::vector<float> samples{1.0f, -0.5f, 0.25f, 0.0f, 2.0f, 3.0f};
    const auto image = AudioProcessor::createWaveformImage(samples, 2.7, 3.0);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 2);
    EXPECT_EQ(image->height, 3);
    ASSERT_EQ(image->pixels.size(), 24u);
    float second;
    std::memcpy(&second, image->pixels.data() + 4, 4);
    EXPECT_EQ(second, -0.5f);
    EXPECT_FALSE(AudioProcessor::createWaveformImage(samples, 3, 3));
}
