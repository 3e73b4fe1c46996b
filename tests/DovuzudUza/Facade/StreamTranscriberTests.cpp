#include <gtest/gtest.h>

#include <deque>

#include "DovuzudUza/Core/Audio/AudioStreamTranscriber.hpp"
#include "DovuzudUza/Core/AudioEncoder.hpp"
#include "DovuzudUza/Core/FeatureExtractor.hpp"
#include "DovuzudUza/Core/SegmentSeeker.hpp"
#include "DovuzudUza/Core/TextDecoder.hpp"
#include "tests/DovuzudUza/Decoding/DecodingTestSupport.hpp"
#include "platform/audio/fake/FakeAudioSystem.hpp"
#include "tests/DovuzudUza/Models/LogCapture.hpp"

using namespace DovuzudUza;
using Stream = AudioStreamTranscriber;

namespace {

// A microphone whose captured samples and energies the test sets.
class ScriptedProcessor : public AudioProcessing {
public:
    std::vector<float> samples;
    std::vector<float> energy;
    int starts = 0, stops = 0;
    bool failStart = false;
    SamplesCallback tap;

    std::vector<float> audioSamples() const override { return samples; }
    void purgeAudioSamples(int64_t) override {}
    std::vector<float> relativeEnergy() const override { return energy; }
    int64_t relativeEnergyWindow() const override { return 20; }
    void setRelativeEnergyWindow(int64_t) override {}
    void startRecordingLive(std::optional<uint32_t>, SamplesCallback callback) override {
        if (failStart) throw std::runtime_error("no microphone");
        ++starts;
        tap = std::move(callback);
    }
    std::shared_ptr<AudioSampleStream> startStreamingRecordingLive(std::optional<uint32_t>) override { return nullptr; }
    void pauseRecording() override {}
    void stopRecording() override { ++stops; }
    void resumeRecordingLive(std::optional<uint32_t>, SamplesCallback) override {}
    AudioProcessorOutputType padOrTrim(std::span<const float>, int64_t, int64_t) override { return nullptr; }
};

TranscriptionSegment segment(float start, float end, std::string text = "x") {
    TranscriptionSegment s;
    s.start = start;
    s.end = end;
    s.text = std::move(text);
    return s;
}

// Passes answered from a script; each idle turn runs `onPause`, which
// stops the loop after the given number of idle turns.
class ScriptedStream : public Stream {
public:
    ScriptedStream(std::shared_ptr<ScriptedProcessor> processor, int64_t required, bool useVAD,
                   std::shared_ptr<platform::audio::AudioSystem> audio)
        : Stream(std::make_shared<AudioEncoder>(), std::make_shared<FeatureExtractor>(), std::make_shared<SegmentSeeker>(),
                 std::make_shared<TextDecoder>(), decoding_test::tokenizer(), processor, DecodingOptions(), required,
                 0.3f, 4, useVAD,
                 std::nullopt,
                 [this](const State&, const State& now) {
                     std::lock_guard lock(mutex_);
                     states.push_back(now);
                 },
                 std::move(audio)),
          processor_(std::move(processor)) {}

    std::deque<std::vector<TranscriptionSegment>> passes;
    std::vector<float> clipStarts;
    std::vector<State> states;
    int idleTurnsBeforeStop = 1;
    int idleTurns = 0;
    std::function<void()> onPass;

    using Stream::onProgressCallback;

protected:
    std::shared_ptr<TranscriptionResult> transcribeAudioSamples(const std::vector<float>&, std::stop_token) override {
        clipStarts.push_back(state().lastConfirmedSegmentEndSeconds);
        if (onPass) onPass();
        auto segments = passes.empty() ? std::vector<TranscriptionSegment>{} : passes.front();
        if (!passes.empty()) passes.pop_front();
        return std::make_shared<TranscriptionResult>("", segments);
    }
    void pause(std::stop_token) override {
        if (++idleTurns >= idleTurnsBeforeStop) stopStreamTranscription();
    }

private:
    std::shared_ptr<ScriptedProcessor> processor_;
    std::mutex mutex_;
};

struct StreamFixture : ::testing::Test {
    std::shared_ptr<platform::audio::FakeAudioSystem> audio = std::make_shared<platform::audio::FakeAudioSystem>();
    std::shared_ptr<ScriptedProcessor> processor = std::make_shared<ScriptedProcessor>();
};

}  // namespace

TEST_F(StreamFixture, OnlyMoreThanOneSecondOfNewAudioIsTranscribed) {
    for (const auto& [samples, passes] : {std::pair<size_t, size_t>{16000, 0}, {16001, 1}}) {
        ScriptedStream stream(processor, 2, false, audio);
        processor->samples.assign(samples, 0.1f);
        stream.startStreamTranscription();
        EXPECT_EQ(stream.clipStarts.size(), passes) << samples;
        EXPECT_EQ(stream.state().lastBufferSize, static_cast<int64_t>(passes ? samples : 0));
        EXPECT_FALSE(stream.state().isRecording);
    }
}

TEST_F(StreamFixture, AllButTheLastRequiredSegmentsAreConfirmedOnce) {
    ScriptedStream stream(processor, 2, false, audio);
    processor->samples.assign(32000, 0.1f);
    const std::vector<TranscriptionSegment> five{segment(0, 1), segment(1, 2), segment(2, 3), segment(3, 4), segment(4, 5)};
    stream.passes = {five};
    stream.startStreamTranscription();
    auto s = stream.state();
    EXPECT_EQ(s.confirmedSegments, std::vector<TranscriptionSegment>(five.begin(), five.begin() + 3));
    EXPECT_EQ(s.unconfirmedSegments, std::vector<TranscriptionSegment>(five.begin() + 3, five.end()));
    EXPECT_FLOAT_EQ(s.lastConfirmedSegmentEndSeconds, 3.0f);

    // Later passes: two segments confirm nothing; candidates ending at or
    // before the confirmed point confirm nothing; the next pass starts at it.
    struct Case {
        std::vector<TranscriptionSegment> pass;
        size_t confirmed;
    };
    for (const auto& c : {Case{{segment(3, 4), segment(4, 5)}, 3}, Case{{segment(2, 3), segment(3, 4), segment(4, 5)}, 3},
                          Case{{segment(3, 4.5f), segment(4.5f, 5), segment(5, 6)}, 4}}) {
        processor->samples.resize(processor->samples.size() + 20000, 0.1f);
        stream.passes = {c.pass};
        stream.idleTurns = 0;
        stream.startStreamTranscription();
        EXPECT_EQ(stream.state().confirmedSegments.size(), c.confirmed);
    }
    EXPECT_EQ(stream.clipStarts, (std::vector<float>{0.0f, 3.0f, 3.0f, 3.0f}));
}

TEST_F(StreamFixture, ARunAlreadyConfirmedIsNotAppendedAgain) {
    ScriptedStream stream(processor, 1, false, audio);
    processor->samples.assign(32000, 0.1f);
    // A segment that ends after the one behind it leaves the confirmed
    // point (3 s) before the end of an already confirmed segment (5 s).
    stream.passes = {{segment(0, 5), segment(5, 3), segment(6, 7)}};
    stream.startStreamTranscription();
    ASSERT_EQ(stream.state().confirmedSegments.size(), 2u);
    EXPECT_FLOAT_EQ(stream.state().lastConfirmedSegmentEndSeconds, 3.0f);

    processor->samples.resize(60000, 0.1f);
    stream.passes = {{segment(0, 5), segment(7, 8)}};
    stream.idleTurns = 0;
    stream.startStreamTranscription();
    EXPECT_FLOAT_EQ(stream.state().lastConfirmedSegmentEndSeconds, 5.0f);
    EXPECT_EQ(stream.state().confirmedSegments.size(), 2u);
}

TEST_F(StreamFixture, SilenceWithVoiceDetectionWaitsWithoutTranscribing) {
    ScriptedStream stream(processor, 2, true, audio);
    stream.idleTurnsBeforeStop = 3;
    processor->samples.assign(48000, 0.0f);
    processor->energy.assign(30, 0.0f);
    stream.startStreamTranscription();
    EXPECT_TRUE(stream.clipStarts.empty());
    EXPECT_EQ(stream.state().currentText, "Waiting for speech...");
    EXPECT_EQ(stream.state().lastBufferSize, 0) << "the silent audio counts again next turn";
    int changes = 0;
    for (size_t i = 1; i < stream.states.size(); ++i) changes += stream.states[i].currentText != stream.states[i - 1].currentText;
    EXPECT_EQ(changes, 1) << "set once and kept";
}

TEST_F(StreamFixture, StartingTwiceOrWithoutPermissionDoesNothing) {
    ScriptedStream stream(processor, 2, false, audio);
    stream.onPass = [&] { stream.startStreamTranscription(); };
    processor->samples.assign(20000, 0.1f);
    stream.startStreamTranscription();
    EXPECT_EQ(processor->starts, 1);

    audio->permission = false;
    test_support::LogCapture log(ZezeziCore::Logging::LogLevel::error);
    ScriptedStream refused(processor, 2, false, audio);
    refused.startStreamTranscription();
    EXPECT_EQ(processor->starts, 1);
    EXPECT_EQ(log.texts(), std::vector<std::string>{"Microphone access was not granted."});
}

TEST_F(StreamFixture, CaptureThatCannotStartFailsAndAFailedTurnEndsTheLoop) {
    ScriptedStream stream(processor, 2, false, audio);
    processor->failStart = true;
    EXPECT_THROW(stream.startStreamTranscription(), std::runtime_error);
    EXPECT_FALSE(stream.state().isRecording);

    processor->failStart = false;
    processor->samples.assign(20000, 0.1f);
    stream.onPass = [] { throw std::runtime_error("decoder broke"); };
    test_support::LogCapture log(ZezeziCore::Logging::LogLevel::info);
    EXPECT_NO_THROW(stream.startStreamTranscription());
    const auto lines = log.texts();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Error: decoder broke"), lines.end());
    EXPECT_EQ(lines.back(), "Realtime transcription has ended");
    EXPECT_EQ(processor->stops, 1);
}

TEST_F(StreamFixture, CapturedBuffersRefreshTheEnergyAndProgressTheText) {
    ScriptedStream stream(processor, 2, false, audio);
    processor->energy = {0.2f, 0.4f};
    stream.startStreamTranscription();
    ASSERT_TRUE(processor->tap);
    processor->tap({0.1f});
    EXPECT_EQ(stream.state().bufferEnergy, (std::vector<float>{0.2f, 0.4f}));

    // A shorter text without a new fallback keeps the longer one aside.
    ASSERT_EQ(stream.state().currentText, "Waiting for speech...");
    TranscriptionProgress progress;
    progress.text = "hola mundo";
    stream.onProgressCallback(progress);
    progress.text = "hola";
    stream.onProgressCallback(progress);
    progress.text = "hola mundo otra vez";
    stream.onProgressCallback(progress);
    EXPECT_EQ(stream.state().unconfirmedText, (std::vector<std::string>{"Waiting for speech...", "hola mundo"}));
    progress.timings.totalDecodingFallbacks = 1;
    progress.text = "h";
    stream.onProgressCallback(progress);
    EXPECT_EQ(stream.state().unconfirmedText.size(), 2u) << "a fallback explains the shorter text";
    EXPECT_EQ(stream.state().currentFallbacks, 1);
}

TEST(StreamEarlyStop, RepetitionAndUncertaintyEndAPass) {
    struct Case {
        std::vector<int64_t> tokens;
        std::optional<float> avgLogprob;
        std::optional<float> compressionThreshold;
        bool stops;
    };
    const std::vector<int64_t> repeated(40, 7);
    std::vector<int64_t> varied(40);
    for (size_t i = 0; i < varied.size(); ++i) varied[i] = static_cast<int64_t>(i * 37 % 1000);
    const Case cases[] = {
        {repeated, std::nullopt, 2.4f, true},
        {std::vector<int64_t>(repeated.begin(), repeated.begin() + 20), std::nullopt, 2.4f, false},  // not more than W
        {repeated, std::nullopt, std::nullopt, false},  // no threshold: the check is off
        {varied, -0.5f, 2.4f, false},
        {varied, -1.5f, 2.4f, true},
    };
    for (const auto& c : cases) {
        TranscriptionProgress progress;
        progress.tokens = c.tokens;
        progress.avgLogprob = c.avgLogprob;
        DecodingOptions options;
        options.compressionRatioThreshold = c.compressionThreshold;
        EXPECT_EQ(Stream::shouldStopEarly(progress, options, 20), c.stops) << c.tokens.size();
    }
}
