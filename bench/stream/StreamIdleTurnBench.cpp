// Cost of an idle turn of the stream transcriber after a capture of 1 and of
// 60 minutes: a turn with no new audio, and a turn with 2 s of silence
// that voice detection turns away, each without and with an observer of the
// state. The capture's passes confirmed a segment every 5 s. An idle turn
// must cost the same whatever the capture's length (its 100 ms pause is
// left out of the measure).
//
// usage: stream_idle_turn_bench [turns]   (default 20000)
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "DovuzudUza/Core/Audio/AudioProcessor.hpp"
#include "DovuzudUza/Core/Audio/AudioStreamTranscriber.hpp"
#include "DovuzudUza/Core/AudioEncoder.hpp"
#include "DovuzudUza/Core/Constants.hpp"
#include "DovuzudUza/Core/FeatureExtractor.hpp"
#include "DovuzudUza/Core/SegmentSeeker.hpp"
#include "DovuzudUza/Core/TextDecoder.hpp"
#include "DovuzudUza/Core/WhisperTokenizerWrapper.hpp"
#include "platform/audio/fake/FakeAudioSystem.hpp"
#include "tests/DovuzudUza/Models/WhisperVocabularyFixture.hpp"

using namespace DovuzudUza;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int64_t kBuffer = 1600;

// A processor whose captured buffers the bench hands in.
class FedProcessor : public AudioProcessor {
public:
    FedProcessor() : AudioProcessor(std::make_shared<platform::audio::FakeAudioSystem>()) {}
    // Speech: loud and quiet seconds by turns; else silence.
    void feed(int64_t seconds, bool speech, std::mt19937& rng) {
        std::normal_distribution<float> noise(0.0f, 1.0f);
        std::vector<float> buffer(kBuffer);
        for (int64_t b = 0; b < seconds * Constants::sampleRate / kBuffer; ++b) {
            const float level = !speech ? 0.0f : (b / 10) % 2 ? 0.3f : 0.01f;
            for (auto& sample : buffer) sample = level * noise(rng);
            processBuffer(buffer);
        }
    }
};

// One confirmed segment per 5 s of the capture, each with a sentence's text and tokens.
std::vector<TranscriptionSegment> segmentsOf(int64_t seconds) {
    std::vector<TranscriptionSegment> segments;
    for (int64_t start = 0; start + 5 <= seconds; start += 5) {
        TranscriptionSegment s;
        s.id = static_cast<int64_t>(segments.size());
        s.start = static_cast<float>(start);
        s.end = static_cast<float>(start + 5);
        s.text = " Una frase dictada de unas doce palabras que ocupa cinco segundos.";
        s.tokens.assign(16, 50365);
        segments.push_back(std::move(s));
    }
    return segments;
}

// The engine's transcriber without models: its one pass answers the
// capture's segments; pauses return at once.
class IdleStream : public AudioStreamTranscriber {
public:
    IdleStream(std::shared_ptr<FedProcessor> processor, bool useVAD, std::vector<TranscriptionSegment> segments,
               StateChangeCallback observer)
        : AudioStreamTranscriber(std::make_shared<AudioEncoder>(), std::make_shared<FeatureExtractor>(),
                                 std::make_shared<SegmentSeeker>(), std::make_shared<TextDecoder>(),
                                 std::make_shared<WhisperTokenizerWrapper>(
                                     Tokenizers::TokenizerWrapper(test_support::WhisperVocabulary{}.build())),
                                 std::move(processor), DecodingOptions(), 2, 0.3f, 20, useVAD, std::nullopt, std::move(observer),
                                 std::make_shared<platform::audio::FakeAudioSystem>()),
          segments_(std::move(segments)) {}

    int passes = 0;
    using AudioStreamTranscriber::transcribeCurrentBuffer;

protected:
    std::shared_ptr<TranscriptionResult> transcribeAudioSamples(const std::vector<float>&, int64_t,
                                                                std::stop_token) override {
        ++passes;
        return std::make_shared<TranscriptionResult>("", segments_);
    }
    void pause(std::stop_token) override {}

private:
    std::vector<TranscriptionSegment> segments_;
};

// Nanoseconds per idle turn, the best of five rounds of `turns` turns.
double idleTurnNanoseconds(int64_t minutes, bool silence, bool observed, int turns) {
    std::mt19937 rng(7);
    auto processor = std::make_shared<FedProcessor>();
    processor->feed(minutes * 60, true, rng);
    int64_t heard = 0;
    AudioStreamTranscriber::StateChangeCallback observer;
    if (observed) observer = [&heard](const AudioStreamTranscriber::State&, const AudioStreamTranscriber::State&) { ++heard; };
    IdleStream stream(processor, silence, segmentsOf(minutes * 60), observer);
    std::stop_source stop;
    stream.transcribeCurrentBuffer(stop.get_token());  // the pass that confirms the capture
    if (silence) processor->feed(2, false, rng);  // more than a second, all silent
    stream.transcribeCurrentBuffer(stop.get_token());  // the first idle turn sets the waiting text
    const int64_t heardBefore = heard;
    double best = INFINITY;
    for (int round = 0; round < 5; ++round) {
        const auto start = Clock::now();
        for (int i = 0; i < turns; ++i) stream.transcribeCurrentBuffer(stop.get_token());
        const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / turns;
        best = std::min(best, ns);
    }
    if (stream.passes != 1) {
        std::fprintf(stderr, "an idle turn ran a pass (%d passes)\n", stream.passes);
        std::exit(1);
    }
    if (heard != heardBefore) {
        std::fprintf(stderr, "idle turns told the observer of %lld states\n", static_cast<long long>(heard - heardBefore));
        std::exit(1);
    }
    const auto confirmed = stream.state().confirmedSegments.size();
    std::printf("%3lld min capture, %4zu confirmed segments, %-28s %-12s %10.0f ns per idle turn\n",
                static_cast<long long>(minutes), confirmed,
                silence ? "2 s of silence (VAD on):" : "no new audio:", observed ? "observed:" : "unobserved:", best);
    std::fflush(stdout);
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const int turns = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20000;
    for (const bool observed : {false, true}) {
        for (const bool silence : {false, true}) {
            const double one = idleTurnNanoseconds(1, silence, observed, turns);
            const double sixty = idleTurnNanoseconds(60, silence, observed, turns);
            std::printf("    60 min / 1 min: %.2f\n", sixty / one);
        }
    }
    return 0;
}
