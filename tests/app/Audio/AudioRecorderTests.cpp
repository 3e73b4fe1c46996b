#include <gtest/gtest.h>

#include <cmath>

#include "app/Audio/AudioRecorder.hpp"
#include "platform/audio/fake/FakeAudioSystem.hpp"
#include "platform/concurrency/Task.hpp"
#include "platform/concurrency/fake/ManualScheduler.hpp"
#include "tests/app/Dictation/FakeDesktop.hpp"

namespace {

using Parlox::AudioRecorder;
using platform::audio::FakeAudioSystem;
using platform::audio::PcmBuffer;
using platform::audio::RecordPermission;

class AudioRecorderTest : public ::testing::Test {
protected:
    void SetUp() override {
        audio->inputFormat = {48000, 1};
        recorder.setOnLevel([this](float level) { levels.push_back(level); });
    }
    // One buffer of `frames` frames per channel, each channel filled by its function.
    PcmBuffer buffer(size_t frames, std::vector<std::function<float(size_t)>> channels) {
        PcmBuffer b(audio->inputFormat, static_cast<int64_t>(frames));
        for (uint32_t c = 0; c < audio->inputFormat.channelCount; ++c)
            for (size_t i = 0; i < frames; ++i) b.channel(c)[i] = channels[c](i);
        b.setFrameLength(static_cast<int64_t>(frames));
        return b;
    }

    std::shared_ptr<FakeAudioSystem> audio = std::make_shared<FakeAudioSystem>();
    std::shared_ptr<platform::ManualScheduler> scheduler = std::make_shared<platform::ManualScheduler>();
    AudioRecorder recorder{audio, scheduler};
    std::vector<float> levels;
};

TEST(AudioRecorderLevel, DecibelsMapOntoZeroToOne) {
    struct Case {
        float amplitude;  // of a constant signal: its RMS
        float level;
    };
    for (const Case& c : {Case{0, 0}, Case{1, 1}, Case{std::pow(10.f, -50 / 20.f), 0}, Case{0.001f, 0},
                          Case{std::pow(10.f, -25 / 20.f), 0.5f}}) {
        std::vector<float> samples(1024, c.amplitude);
        EXPECT_NEAR(AudioRecorder::level(samples.data(), samples.size()), c.level, 1e-5) << c.amplitude;
    }
    std::vector<float> square(1024);
    for (size_t i = 0; i < square.size(); ++i) square[i] = i % 2 ? 1.f : -1.f;
    EXPECT_FLOAT_EQ(AudioRecorder::level(square.data(), square.size()), 1.f);
}

TEST_F(AudioRecorderTest, RecordsSixteenKilohertzMonoFromTheFirstChannel) {
    audio->inputFormat = {48000, 2};
    recorder.start();
    ASSERT_TRUE(recorder.isRunning());
    EXPECT_EQ(audio->lastEngine()->framesPerBuffer, AudioRecorder::tapFrames);
    // Left: a tone; right: silence that must not dilute it.
    const auto tone = dictation_test::tone(1, -20);
    for (size_t at = 0; at < tone.size(); at += 4096) {
        const size_t n = std::min<size_t>(4096, tone.size() - at);
        audio->deliver(buffer(n, {[&](size_t i) { return tone[at + i]; }, [](size_t) { return 0.f; }}));
    }
    const auto samples = recorder.stop();
    EXPECT_NEAR(static_cast<double>(samples.size()), 16000.0, 100.0);
    double sum = 0;
    for (size_t i = 1000; i < 15000; ++i) sum += samples[i] * samples[i];
    EXPECT_NEAR(10 * std::log10(sum / 14000), -20, 0.5);
    EXPECT_FALSE(recorder.isRunning());
    EXPECT_EQ(recorder.sampleCount(), 0u);
}

TEST_F(AudioRecorderTest, OneBufferAtFortyEightKilohertzGivesAboutAThird) {
    recorder.start();
    audio->deliver(buffer(4096, {[](size_t) { return 0.1f; }}));
    EXPECT_NEAR(static_cast<double>(recorder.sampleCount()), 1365.0, 40.0);
}

TEST_F(AudioRecorderTest, LevelsAtMostEveryEightyMillisecondsAndAlsoWhilePaused) {
    recorder.start();
    audio->deliver(buffer(1024, {[](size_t) { return 1.f; }}));
    audio->deliver(buffer(1024, {[](size_t) { return 1.f; }}));  // within 0.08 s: no level
    scheduler->settle();
    EXPECT_EQ(levels, (std::vector<float>{1.f}));

    recorder.pause();
    const size_t kept = recorder.sampleCount();
    scheduler->advance(0.081);
    audio->deliver(buffer(4096, {[](size_t) { return 0.f; }}));
    scheduler->settle();
    EXPECT_EQ(levels, (std::vector<float>{1.f, 0.f}));
    EXPECT_EQ(recorder.sampleCount(), kept);  // dropped while paused

    recorder.resume();
    audio->deliver(buffer(4096, {[](size_t) { return 0.2f; }}));
    EXPECT_GT(recorder.sampleCount(), kept);
}

TEST_F(AudioRecorderTest, StopWithoutStartIsEmptyAndAStartDiscardsTheOldCapture) {
    EXPECT_TRUE(recorder.stop().empty());
    EXPECT_TRUE(audio->engines().empty());
    recorder.start();
    audio->deliver(buffer(4096, {[](size_t) { return 0.1f; }}));
    recorder.start();
    EXPECT_EQ(recorder.sampleCount(), 0u);
    EXPECT_EQ(audio->engines().front()->state, platform::audio::FakeCaptureEngine::State::stopped);
    EXPECT_EQ(audio->engines().size(), 2u);
}

// A start whose owner gave the microphone up, and a stop of a capture
// that is no longer the running one, leave the running capture alone.
TEST_F(AudioRecorderTest, OnlyTheOwnerOfACaptureOpensOrClosesIt) {
    using State = platform::audio::FakeCaptureEngine::State;
    std::stop_source given;
    given.request_stop();
    EXPECT_THROW(recorder.start(given.get_token()), platform::CancellationError);
    EXPECT_TRUE(audio->engines().empty());

    const AudioRecorder::Capture first = recorder.start();
    const AudioRecorder::Capture second = recorder.start();
    EXPECT_NE(first, second);
    audio->deliver(buffer(4096, {[](size_t) { return 0.1f; }}));
    const size_t kept = recorder.sampleCount();
    EXPECT_GT(kept, 0u);
    EXPECT_THROW(recorder.start(given.get_token()), platform::CancellationError);
    recorder.stop(first);
    EXPECT_TRUE(recorder.isRunning());
    EXPECT_EQ(recorder.sampleCount(), kept);
    EXPECT_EQ(audio->engines().back()->state, State::running);

    recorder.stop(second);
    EXPECT_FALSE(recorder.isRunning());
    EXPECT_EQ(recorder.sampleCount(), 0u);
    EXPECT_EQ(audio->engines().back()->state, State::stopped);
}

TEST_F(AudioRecorderTest, FailuresToStart) {
    struct Case {
        const char* name;
        std::function<void(FakeAudioSystem&)> arrange;
        std::optional<AudioRecorder::RecorderError::Kind> kind;  // none: the engine's own error
        const char* text;
    };
    const std::vector<Case> cases{
        {"denied", [](FakeAudioSystem& a) { a.permissionStatus = RecordPermission::denied; },
         AudioRecorder::RecorderError::Kind::microphoneDenied, "Parlox no tiene permiso para usar el micrófono."},
        {"refused when asked",
         [](FakeAudioSystem& a) {
             a.permissionStatus = RecordPermission::undetermined;
             a.permission = false;
         },
         AudioRecorder::RecorderError::Kind::microphoneDenied, "Parlox no tiene permiso para usar el micrófono."},
        {"no channels", [](FakeAudioSystem& a) { a.inputFormat = {48000, 0}; },
         AudioRecorder::RecorderError::Kind::noInputDevice, "No hay ningún micrófono disponible."},
        {"no rate", [](FakeAudioSystem& a) { a.inputFormat = {0, 1}; }, AudioRecorder::RecorderError::Kind::noInputDevice,
         "No hay ningún micrófono disponible."},
        {"engine", [](FakeAudioSystem& a) { a.failStart = true; }, std::nullopt, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto system = std::make_shared<FakeAudioSystem>();
        system->inputFormat = {48000, 1};
        c.arrange(*system);
        AudioRecorder r(system, scheduler);
        try {
            r.start();
            ADD_FAILURE() << "started";
        } catch (const AudioRecorder::RecorderError& error) {
            ASSERT_TRUE(c.kind.has_value());
            EXPECT_EQ(error.kind(), *c.kind);
            EXPECT_EQ(error.localizedDescription(), c.text);
        } catch (const platform::audio::AudioError&) {
            EXPECT_FALSE(c.kind.has_value());
        }
        EXPECT_FALSE(r.isRunning());
    }
}

}  // namespace
