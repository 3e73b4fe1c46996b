#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "DovuzudUza/Core/Audio/AudioProcessor.hpp"
#include "DovuzudUza/Core/Audio/AudioStreamTranscriber.hpp"
#include "DovuzudUza/Core/AudioEncoder.hpp"
#include "DovuzudUza/Core/FeatureExtractor.hpp"
#include "DovuzudUza/Core/SegmentSeeker.hpp"
#include "DovuzudUza/Core/TextDecoder.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "tests/DovuzudUza/Decoding/DecodingTestSupport.hpp"
#include "platform/audio/fake/FakeAudioSystem.hpp"
#include "tests/DovuzudUza/Models/LogCapture.hpp"
#include "tests/DovuzudUza/SegmentTestSupport.hpp"

using namespace DovuzudUza;
using Stream = AudioStreamTranscriber;

namespace {

using test_support::segment;

// A microphone the test scripts. A start empties the samples and energies,
// as capture does, and the microphone then delivers `firstCapture` and
// `firstEnergy` before the first turn; a test captures more by appending.
class ScriptedProcessor : public AudioProcessing {
public:
    std::vector<float> samples;
    std::vector<float> energy;
    std::vector<float> firstCapture;
    std::vector<float> firstEnergy;
    int starts = 0, stops = 0;
    bool failStart = false;
    SamplesCallback tap;
    mutable int64_t copiedSamples = 0;  // samples handed out in copies
    std::function<void()> beforeCopy;   // on the reading thread, before a part is copied

    std::vector<float> audioSamples() const override {
        copiedSamples += static_cast<int64_t>(samples.size());
        return samples;
    }
    int64_t audioSampleCount() const override { return static_cast<int64_t>(samples.size()); }
    std::vector<float> audioSamplesBetween(int64_t from, int64_t to) const override {
        if (beforeCopy) beforeCopy();
        auto part = slice(samples, from, to);
        copiedSamples += static_cast<int64_t>(part.size());
        return part;
    }
    void purgeAudioSamples(int64_t) override {}
    std::vector<float> relativeEnergy() const override { return energy; }
    int64_t relativeEnergyWindow() const override { return 20; }
    void setRelativeEnergyWindow(int64_t) override {}
    void startRecordingLive(std::optional<uint32_t>, SamplesCallback callback) override {
        samples.clear();
        energy.clear();
        if (failStart) throw std::runtime_error("no microphone");
        ++starts;
        samples = firstCapture;
        energy = firstEnergy;
        tap = std::move(callback);
    }
    std::shared_ptr<AudioSampleStream> startStreamingRecordingLive(std::optional<uint32_t>) override { return nullptr; }
    void pauseRecording() override {}
    void stopRecording() override { ++stops; }
    void resumeRecordingLive(std::optional<uint32_t>, SamplesCallback) override {}
    AudioProcessorOutputType padOrTrim(std::span<const float> from, int64_t startAt, int64_t toLength) override {
        return AudioProcessor::padOrTrimAudio(from, startAt, toLength);
    }

    void capture(size_t count, float level = 0.1f) { samples.insert(samples.end(), count, level); }
};

// The engine's stages; without models unless the test gives fakes.
struct Stages {
    std::shared_ptr<AudioEncoder> encoder = std::make_shared<AudioEncoder>();
    std::shared_ptr<FeatureExtractor> mel = std::make_shared<FeatureExtractor>();
    std::shared_ptr<TextDecoder> decoder = std::make_shared<TextDecoder>();
};

// Passes answered from a script (or run by the engine's task when
// `realPasses`). Each idle turn runs the next step of `idleScript`; once
// none is left, the turn counts towards stopping the loop.
class ScriptedStream : public Stream {
public:
    ScriptedStream(std::shared_ptr<ScriptedProcessor> processor, int64_t required, bool useVAD,
                   std::shared_ptr<platform::audio::AudioSystem> audio, Stages stages = {},
                   DecodingOptions options = {})
        : Stream(stages.encoder, stages.mel, std::make_shared<SegmentSeeker>(), stages.decoder,
                 decoding_test::tokenizer(), processor, std::move(options), required, 0.3f, 4, useVAD, std::nullopt,
                 [this](const State& old, const State& now) {
                     {
                         std::lock_guard lock(mutex_);
                         states.push_back(now);
                         unchangedStates += old == now;
                     }
                     if (onStateChange) onStateChange(old, now);
                 },
                 std::move(audio)),
          processor_(std::move(processor)) {}

    std::deque<std::vector<TranscriptionSegment>> passes;
    bool realPasses = false;
    std::vector<float> clipStarts;           // the confirmed point at each pass
    std::vector<int64_t> passFirstSamples;   // where each pass's samples begin
    std::vector<size_t> passSampleCounts;    // how many each pass was handed
    std::vector<size_t> confirmedAtPass;     // confirmed segments when each pass began
    std::vector<State> states;  // every state the observer heard of
    int unchangedStates = 0;    // ... that was the one before it again
    std::deque<std::function<void()>> idleScript;
    int idleTurnsBeforeStop = 1;
    int idleTurns = 0;
    std::function<void(std::stop_token)> onPass;  // inside each pass, with the pass's stop token
    std::function<void(const State& old, const State& now)> onStateChange;  // after each state is noted

    using Stream::onProgressCallback;

protected:
    std::shared_ptr<TranscriptionResult> transcribeAudioSamples(const std::vector<float>& samples, int64_t firstSample,
                                                                std::stop_token stop) override {
        clipStarts.push_back(state().lastConfirmedSegmentEndSeconds);
        passFirstSamples.push_back(firstSample);
        passSampleCounts.push_back(samples.size());
        confirmedAtPass.push_back(state().confirmedSegments.size());
        if (onPass) onPass(stop);
        if (realPasses) return Stream::transcribeAudioSamples(samples, firstSample, stop);
        auto segments = passes.empty() ? std::vector<TranscriptionSegment>{} : passes.front();
        if (!passes.empty()) passes.pop_front();
        return std::make_shared<TranscriptionResult>("", segments);
    }
    void pause(std::stop_token) override {
        if (!idleScript.empty()) {
            auto step = std::move(idleScript.front());
            idleScript.pop_front();
            step();
            return;
        }
        if (++idleTurns >= idleTurnsBeforeStop) stopStreamTranscription();
    }

private:
    std::shared_ptr<ScriptedProcessor> processor_;
    std::mutex mutex_;
};

// A capture that a new one follows while the first one's loop is held at a
// point of the test's choosing. The first capture runs on a thread of its
// own; once the test's point is reached, it is stopped and a 3 s capture is
// started on the test's thread. Hooks wait on `changed` under `mutex`, and
// notify it when they reach a point.
class Restart {
public:
    explicit Restart(ScriptedStream& stream) : stream_(stream) {
        stream.onStateChange = [this](const Stream::State& old, const Stream::State& now) {
            std::lock_guard lock(mutex);
            recordingStarts_ += !old.isRecording && now.isRecording;
            changed.notify_all();
        };
    }
    // Holding `lock`: waits until the new capture has started, unless `stop`
    // is requested first.
    void waitForTheNewCapture(std::unique_lock<std::mutex>& lock, std::stop_token stop = {}) {
        changed.wait_for(lock, stop, std::chrono::seconds(60), [&] { return recordingStarts_ == 2; });
    }
    // Runs both captures; false when the first never reached the point.
    bool run(ScriptedProcessor& processor, const std::function<bool()>& reached) {
        std::thread first([&] { stream_.startStreamTranscription(); });
        bool held = false;
        {
            std::unique_lock lock(mutex);
            held = changed.wait_for(lock, std::chrono::seconds(60), reached);
        }
        stream_.stopStreamTranscription();
        processor.firstCapture.assign(48000, 0.1f);
        stream_.startStreamTranscription();
        first.join();
        return held;
    }

    std::mutex mutex;
    std::condition_variable_any changed;

private:
    ScriptedStream& stream_;
    int recordingStarts_ = 0;
};

struct StreamFixture : ::testing::Test {
    std::shared_ptr<platform::audio::FakeAudioSystem> audio = std::make_shared<platform::audio::FakeAudioSystem>();
    std::shared_ptr<ScriptedProcessor> processor = std::make_shared<ScriptedProcessor>();
};

}  // namespace

TEST_F(StreamFixture, OnlyMoreThanOneSecondOfNewAudioIsTranscribed) {
    for (const auto& [samples, passes] : {std::pair<size_t, size_t>{16000, 0}, {16001, 1}}) {
        ScriptedStream stream(processor, 2, false, audio);
        processor->firstCapture.assign(samples, 0.1f);
        stream.startStreamTranscription();
        EXPECT_EQ(stream.clipStarts.size(), passes) << samples;
        EXPECT_EQ(stream.state().lastBufferSize, static_cast<int64_t>(passes ? samples : 0));
        EXPECT_FALSE(stream.state().isRecording);
    }
}

TEST_F(StreamFixture, AllButTheLastRequiredSegmentsAreConfirmedOnce) {
    ScriptedStream stream(processor, 2, false, audio);
    processor->firstCapture.assign(32000, 0.1f);
    const std::vector<TranscriptionSegment> five{segment(0, 1), segment(1, 2), segment(2, 3), segment(3, 4), segment(4, 5)};
    // Later passes: two segments confirm nothing; candidates ending at or
    // before the confirmed point confirm nothing; the next pass starts at it.
    stream.passes = {five,
                     {segment(3, 4), segment(4, 5)},
                     {segment(2, 3), segment(3, 4), segment(4, 5)},
                     {segment(3, 4.5f), segment(4.5f, 5), segment(5, 6)}};
    // Each idle turn captures enough for the next pass.
    for (int i = 0; i < 3; ++i) stream.idleScript.push_back([&] { processor->capture(20000); });
    stream.startStreamTranscription();

    EXPECT_EQ(stream.confirmedAtPass, (std::vector<size_t>{0, 3, 3, 3}));
    EXPECT_EQ(stream.clipStarts, (std::vector<float>{0.0f, 3.0f, 3.0f, 3.0f}));
    auto s = stream.state();
    ASSERT_EQ(s.confirmedSegments.size(), 4u);
    EXPECT_EQ(std::vector<TranscriptionSegment>(s.confirmedSegments.begin(), s.confirmedSegments.begin() + 3),
              std::vector<TranscriptionSegment>(five.begin(), five.begin() + 3));
    EXPECT_EQ(s.confirmedSegments[3], segment(3, 4.5f));
    EXPECT_EQ(s.unconfirmedSegments, (std::vector<TranscriptionSegment>{segment(4.5f, 5), segment(5, 6)}));
    EXPECT_FLOAT_EQ(s.lastConfirmedSegmentEndSeconds, 4.5f);
}

TEST_F(StreamFixture, ARunAlreadyConfirmedIsNotAppendedAgain) {
    ScriptedStream stream(processor, 1, false, audio);
    processor->firstCapture.assign(32000, 0.1f);
    // A segment that ends after the one behind it leaves the confirmed
    // point (3 s) before the end of an already confirmed segment (5 s).
    stream.passes = {{segment(0, 5), segment(5, 3), segment(6, 7)}, {segment(0, 5), segment(7, 8)}};
    stream.idleScript.push_back([&] { processor->capture(28000); });
    stream.startStreamTranscription();
    EXPECT_EQ(stream.confirmedAtPass, (std::vector<size_t>{0, 2}));
    EXPECT_EQ(stream.clipStarts, (std::vector<float>{0.0f, 3.0f}));
    EXPECT_FLOAT_EQ(stream.state().lastConfirmedSegmentEndSeconds, 5.0f);
    EXPECT_EQ(stream.state().confirmedSegments.size(), 2u);
}

TEST_F(StreamFixture, ANewStartTranscribesTheNewCaptureFromItsFirstSample) {
    ScriptedStream stream(processor, 2, false, audio);
    processor->firstCapture.assign(320000, 0.1f);  // 20 s, confirmed up to 15 s
    stream.passes = {{segment(0, 5), segment(5, 10), segment(10, 15), segment(15, 18), segment(18, 20)}};
    stream.startStreamTranscription();
    ASSERT_FLOAT_EQ(stream.state().lastConfirmedSegmentEndSeconds, 15.0f);
    ASSERT_EQ(stream.state().confirmedSegments.size(), 3u);

    // A shorter second capture, whose first words match the first capture's
    // at the same times: they are new speech, not a run confirmed before.
    processor->firstCapture.assign(192000, 0.1f);  // 12 s
    stream.passes = {{segment(0, 5), segment(5, 10), segment(10, 11), segment(11, 12)},
                     {segment(10, 12), segment(12, 13), segment(13, 14)}};
    stream.idleScript.push_back([&] { processor->capture(32000); });
    stream.idleTurns = 0;
    stream.startStreamTranscription();

    EXPECT_EQ(stream.clipStarts, (std::vector<float>{0.0f, 0.0f, 10.0f}));
    EXPECT_EQ(stream.passFirstSamples, (std::vector<int64_t>{0, 0, 160000}));
    EXPECT_EQ(stream.passSampleCounts, (std::vector<size_t>{320000, 192000, 64000}));
    const auto s = stream.state();
    EXPECT_EQ(s.confirmedSegments,
              (std::vector<TranscriptionSegment>{segment(0, 5), segment(5, 10), segment(10, 15), segment(0, 5),
                                                 segment(5, 10), segment(10, 12)}));
    EXPECT_FLOAT_EQ(s.lastConfirmedSegmentEndSeconds, 12.0f);
    EXPECT_EQ(s.lastBufferSize, 224000);
}

TEST_F(StreamFixture, AStartWhileTheStoppedLoopIsInAPassLetsThatPassEndAndKeepsWhatItConfirmedFirst) {
    ScriptedStream stream(processor, 2, false, audio);
    processor->firstCapture.assign(320000, 0.1f);  // 20 s
    stream.passes = {{segment(0, 5), segment(5, 10), segment(10, 12), segment(12, 14)},
                     // the stopped capture's last pass, over 2 s more
                     {segment(10, 15), segment(15, 18), segment(18, 20), segment(20, 22)},
                     // the new capture's first
                     {segment(0, 1), segment(1, 2), segment(2, 3)}};
    stream.idleScript.push_back([&] { processor->capture(32000); });
    // The second pass holds until the new capture has started (or its stop
    // token ends it), then reports progress and ends.
    Restart restart(stream);
    int passes = 0, inPass = 0, mostInPass = 0, startsWhileHeld = 0;
    bool heldPassStopped = false;
    const std::string lateText = "texto del pase anterior";
    stream.onPass = [&](std::stop_token stop) {
        std::unique_lock lock(restart.mutex);
        mostInPass = std::max(mostInPass, ++inPass);
        restart.changed.notify_all();
        if (++passes == 2) {
            restart.waitForTheNewCapture(lock, stop);
            heldPassStopped = stop.stop_requested();
            startsWhileHeld = processor->starts;
            lock.unlock();
            TranscriptionProgress progress;
            progress.text = lateText;
            stream.onProgressCallback(progress);
            lock.lock();
        }
        --inPass;
    };
    test_support::LogCapture errors(ZezeziCore::Logging::LogLevel::error);
    ASSERT_TRUE(restart.run(*processor, [&] { return passes == 2; }));

    EXPECT_EQ(mostInPass, 1) << "one loop at a time";
    EXPECT_FALSE(heldPassStopped) << "the new start let the stopped capture's pass run to its end";
    EXPECT_EQ(startsWhileHeld, 2) << "the new capture started at once, while that pass ran";
    EXPECT_EQ(stream.clipStarts, (std::vector<float>{0.0f, 10.0f, 0.0f}));
    EXPECT_EQ(stream.passFirstSamples, (std::vector<int64_t>{0, 160000, 0}));
    EXPECT_EQ(stream.passSampleCounts, (std::vector<size_t>{320000, 192000, 48000}));
    const auto s = stream.state();
    EXPECT_EQ(s.confirmedSegments, (std::vector<TranscriptionSegment>{segment(0, 5), segment(5, 10), segment(10, 15),
                                                                      segment(15, 18), segment(0, 1)}));
    EXPECT_FLOAT_EQ(s.lastConfirmedSegmentEndSeconds, 1.0f);
    EXPECT_EQ(s.unconfirmedSegments, (std::vector<TranscriptionSegment>{segment(1, 2), segment(2, 3)}));
    EXPECT_EQ(processor->starts, 2);
    EXPECT_EQ(processor->stops, 2) << "the test's stop and the new loop's own";
    EXPECT_TRUE(errors.texts().empty()) << "the stopped capture's loop leaves without an error";

    // What the observer saw: confirmed segments only ever added at the end;
    // the ended pass adds its own to the new capture's state and changes
    // nothing else of it; its progress never shows.
    bool kept = false;
    for (size_t i = 1; i < stream.states.size(); ++i) {
        const auto& before = stream.states[i - 1].confirmedSegments;
        const auto& after = stream.states[i].confirmedSegments;
        ASSERT_TRUE(after.size() >= before.size() && std::equal(before.begin(), before.end(), after.begin())) << i;
        EXPECT_NE(stream.states[i].currentText, lateText) << i;
        if (before.size() != 2 || after.size() != 4) continue;
        kept = true;
        auto expected = stream.states[i - 1];
        expected.confirmedSegments = {segment(0, 5), segment(5, 10), segment(10, 15), segment(15, 18)};
        EXPECT_EQ(stream.states[i], expected);
        EXPECT_TRUE(expected.isRecording && expected.lastConfirmedSegmentEndSeconds == 0 && expected.lastBufferSize == 0)
            << "a state of the new capture";
    }
    EXPECT_TRUE(kept) << "the ended pass's confirmed segments are heard of in one change";
}

TEST_F(StreamFixture, AStoppedCapturesTurnThatANewStartOvertakesBeginsNoPass) {
    ScriptedStream stream(processor, 2, false, audio);
    processor->firstCapture.assign(320000, 0.1f);  // 20 s
    stream.passes = {{segment(0, 1), segment(1, 2), segment(2, 3)}};
    // The first turn copies its samples only once its capture is stopped and
    // a new one has started: what it copies is the new capture's.
    Restart restart(stream);
    int copies = 0;
    processor->beforeCopy = [&] {
        std::unique_lock lock(restart.mutex);
        if (++copies > 1) return;
        restart.changed.notify_all();
        restart.waitForTheNewCapture(lock);
    };
    ASSERT_TRUE(restart.run(*processor, [&] { return copies == 1; }));

    EXPECT_EQ(stream.passSampleCounts, std::vector<size_t>{48000}) << "the new capture's pass alone";
    EXPECT_EQ(stream.state().confirmedSegments, std::vector<TranscriptionSegment>{segment(0, 1)});
    EXPECT_FLOAT_EQ(stream.state().lastConfirmedSegmentEndSeconds, 1.0f);
    EXPECT_EQ(stream.state().lastBufferSize, 48000);
}

TEST_F(StreamFixture, AStartFromTheLoopsOwnThreadIsRefusedWithAnError) {
    ScriptedStream stream(processor, 2, false, audio);
    processor->firstCapture.assign(20000, 0.1f);
    // The loop stops itself at its first idle turn; the observer, told of it
    // on the loop's thread, starts again.
    std::optional<WhisperError> refusal;
    bool returned = false;
    stream.onStateChange = [&](const Stream::State& old, const Stream::State& now) {
        if (!old.isRecording || now.isRecording) return;
        try {
            stream.startStreamTranscription();
            returned = true;
        } catch (const WhisperError& error) {
            refusal = error;
        }
    };
    stream.startStreamTranscription();

    EXPECT_FALSE(returned) << "the start returned as if it had worked";
    ASSERT_TRUE(refusal) << "the refusal reaches the caller";
    EXPECT_EQ(*refusal, WhisperError::transcriptionFailed("Realtime transcription cannot start again from its own loop"));
    EXPECT_EQ(processor->starts, 1);
    EXPECT_FALSE(stream.state().isRecording);
}

TEST_F(StreamFixture, AnIdleTurnCopiesNoSampleAndAPassOnlyThoseFromTheConfirmedPoint) {
    ScriptedStream stream(processor, 2, false, audio);
    processor->firstCapture.assign(32000, 0.1f);
    stream.passes = {{segment(0, 1), segment(1, 2), segment(2, 3), segment(3, 4), segment(4, 5)}};
    // Idle turns, then 2 s more and a pass, then idle turns again.
    std::vector<int64_t> copiedAtIdleTurns;
    const auto note = [&] { copiedAtIdleTurns.push_back(processor->copiedSamples); };
    stream.idleScript = {note, note, [&] { processor->capture(32000); }, note, note};
    stream.startStreamTranscription();

    EXPECT_EQ(stream.passFirstSamples, (std::vector<int64_t>{0, 48000}));
    EXPECT_EQ(stream.passSampleCounts, (std::vector<size_t>{32000, 16000}));
    EXPECT_EQ(copiedAtIdleTurns, (std::vector<int64_t>{32000, 32000, 48000, 48000}));
    EXPECT_EQ(processor->copiedSamples, 48000);
}

TEST_F(StreamFixture, TheObserverHearsOnlyOfChangesAndIdleTurnsTellItNothing) {
    ScriptedStream stream(processor, 2, false, audio);
    processor->firstCapture.assign(32000, 0.1f);
    stream.passes = {{segment(0, 1), segment(1, 2), segment(2, 3)}, {segment(1, 2), segment(2, 3), segment(3, 4)}};
    // The states heard of by the end of each idle turn: the first one sets
    // the waiting text, the next ones change nothing; then 2 s more and a pass.
    std::vector<size_t> heard;
    const auto note = [&] { heard.push_back(stream.states.size()); };
    stream.idleScript = {note, note, note, [&] { processor->capture(32000); }, note, note};
    stream.startStreamTranscription();
    stream.stopStreamTranscription();  // stopped already: nothing changes

    EXPECT_EQ(stream.unchangedStates, 0);
    ASSERT_EQ(heard.size(), 5u);
    EXPECT_EQ(heard[1], heard[0]);
    EXPECT_EQ(heard[2], heard[0]);
    EXPECT_GT(heard[3], heard[2]) << "the pass and the waiting text after it are heard of";
    EXPECT_EQ(heard[4], heard[3]);
    EXPECT_EQ(stream.states.size(), heard[4] + 1) << "then the first stop only";
    EXPECT_FALSE(stream.states.back().isRecording);
}

TEST_F(StreamFixture, APassOfTheEngineLandsOnTheCapturesTimeline) {
    decoding_test::ScriptedDecoder decoder(decoding_test::Attempts{
        {decoding_test::hola(), decoding_test::mundo(), decoding_test::dot()}});
    Stages stages{decoding_test::fakeAudioEncoder(), decoding_test::fakeFeatureExtractor(), decoder.decoder};
    // Without timestamps each window is one segment; none is held back.
    ScriptedStream stream(processor, 0, false, audio, stages, decoding_test::roadOptions());
    stream.realPasses = true;
    processor->firstCapture.assign(48000, 0.1f);
    stream.idleScript.push_back([&] { processor->capture(32000); });
    stream.startStreamTranscription();

    const auto confirmed = stream.state().confirmedSegments;
    ASSERT_EQ(confirmed.size(), 2u);
    EXPECT_EQ(stream.passFirstSamples, (std::vector<int64_t>{0, 48000}));
    EXPECT_EQ(confirmed[0].seek, 0);
    EXPECT_FLOAT_EQ(confirmed[0].start, 0.0f);
    EXPECT_FLOAT_EQ(confirmed[0].end, 3.0f);
    EXPECT_EQ(confirmed[1].seek, 48000);
    EXPECT_FLOAT_EQ(confirmed[1].start, 3.0f);
    EXPECT_FLOAT_EQ(confirmed[1].end, 5.0f);
    EXPECT_EQ(confirmed[1].text, " Hola mundo.");
    EXPECT_FLOAT_EQ(stream.state().lastConfirmedSegmentEndSeconds, 5.0f);
}

TEST_F(StreamFixture, SilenceWithVoiceDetectionWaitsWithoutTranscribing) {
    ScriptedStream stream(processor, 2, true, audio);
    stream.idleTurnsBeforeStop = 3;
    processor->firstCapture.assign(48000, 0.0f);
    processor->firstEnergy.assign(30, 0.0f);
    stream.startStreamTranscription();
    EXPECT_TRUE(stream.clipStarts.empty());
    EXPECT_EQ(stream.state().currentText, "Waiting for speech...");
    EXPECT_EQ(stream.state().lastBufferSize, 0) << "the silent audio counts again next turn";
    int changes = 0;
    for (size_t i = 1; i < stream.states.size(); ++i) changes += stream.states[i].currentText != stream.states[i - 1].currentText;
    EXPECT_EQ(changes, 1) << "set once and kept";
}

TEST_F(StreamFixture, VoiceDetectionLooksAtTheNewestReadingsOfTheNewAudio) {
    // 3 s of new audio: the check looks at the oldest 20 of the newest 30
    // readings, wherever the louder one sits in a long history.
    struct Case {
        size_t loudAt;  // of 100 readings
        bool transcribed;
    };
    for (const auto& c : {Case{69, false}, Case{70, true}, Case{89, true}, Case{90, false}}) {
        ScriptedStream stream(processor, 2, true, audio);
        processor->firstCapture.assign(48000, 0.1f);
        processor->firstEnergy.assign(100, 0.0f);
        processor->firstEnergy[c.loudAt] = 0.9f;
        stream.startStreamTranscription();
        EXPECT_EQ(stream.clipStarts.size(), c.transcribed ? 1u : 0u) << c.loudAt;
    }
}

TEST_F(StreamFixture, StartingTwiceOrWithoutPermissionDoesNothing) {
    ScriptedStream stream(processor, 2, false, audio);
    stream.onPass = [&](std::stop_token) { stream.startStreamTranscription(); };
    processor->firstCapture.assign(20000, 0.1f);
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
    processor->firstCapture.assign(20000, 0.1f);
    stream.onPass = [](std::stop_token) { throw std::runtime_error("decoder broke"); };
    test_support::LogCapture log(ZezeziCore::Logging::LogLevel::info);
    EXPECT_NO_THROW(stream.startStreamTranscription());
    const auto lines = log.texts();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Error: decoder broke"), lines.end());
    EXPECT_EQ(lines.back(), "Realtime transcription has ended");
    EXPECT_EQ(processor->stops, 1);
}

TEST_F(StreamFixture, CapturedBuffersRefreshTheEnergyAndProgressTheText) {
    ScriptedStream stream(processor, 2, false, audio);
    processor->firstEnergy = {0.2f, 0.4f};
    stream.startStreamTranscription();
    ASSERT_TRUE(processor->tap);
    processor->tap({0.1f});
    EXPECT_EQ(stream.state().bufferEnergy, (std::vector<float>{0.2f, 0.4f}));
    processor->energy.push_back(0.3f);
    processor->tap({0.1f});
    EXPECT_EQ(stream.state().bufferEnergy, (std::vector<float>{0.2f, 0.4f, 0.3f}));

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

    // A new start: the energies are those of the new capture.
    processor->firstEnergy = {0.5f};
    stream.idleTurns = 0;
    stream.startStreamTranscription();
    processor->tap({0.1f});
    EXPECT_EQ(stream.state().bufferEnergy, (std::vector<float>{0.5f}));
}

TEST_F(StreamFixture, AProgressReportDecidesOnTheTextTheReportBeforeItLeft) {
    ScriptedStream stream(processor, 2, false, audio);
    TranscriptionProgress first, second;
    first.text = "hola mundo";
    stream.onProgressCallback(first);
    // A second report of the pass arrives while the first is under way:
    // it runs from the observer of the first report's first change.
    first.text = "hola";
    second.text = "ho";
    bool raced = false;
    stream.onStateChange = [&](const Stream::State&, const Stream::State&) {
        if (std::exchange(raced, true)) return;
        stream.onProgressCallback(second);
    };
    stream.onProgressCallback(first);
    ASSERT_TRUE(raced);
    EXPECT_EQ(stream.state().unconfirmedText, (std::vector<std::string>{"hola mundo", "hola"}));
    EXPECT_EQ(stream.state().currentText, "ho");
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
