// Time from samples to text of the decoding loop at real model sizes
// (random weights made at run time), next to the sum of the stage times
// measured in the same run: a 5 s utterance padded to one window, log-mel,
// encoder and 32 decoded tokens without fallback. The loop should add no
// more than 5% over the stages.
//
// usage: decoding_loop_bench [turbo|base|all] [runs]   (default all, 3)
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "DovuzudUza/Core/AudioEncoder.hpp"
#include "DovuzudUza/Core/FeatureExtractor.hpp"
#include "DovuzudUza/Core/LogitsFilters.hpp"
#include "DovuzudUza/Core/SegmentSeeker.hpp"
#include "DovuzudUza/Core/TextDecoder.hpp"
#include "DovuzudUza/Core/TranscribeTask.hpp"
#include "DovuzudUza/Core/WhisperTokenizerWrapper.hpp"
#include "platform/ml/AlignedBuffer.hpp"
#include "platform/ml/LogMelModel.hpp"
#include "bench/WhisperSizes.hpp"
#include "platform/ml/WhisperCheckpoint.hpp"
#include "platform/ml/WhisperDecoderModel.hpp"
#include "platform/ml/WhisperEncoderModel.hpp"
#include "tests/DovuzudUza/Models/WhisperVocabularyFixture.hpp"

using namespace DovuzudUza;
using namespace platform::ml;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int64_t kTokens = 32;

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Five seconds of voiced tones and noise; each run hears other noise, so
// no encoder output is met twice.
std::vector<float> utterance(uint32_t seed) {
    std::vector<float> samples(5 * 16000);
    std::mt19937 rng(seed);
    std::normal_distribution<float> noise(0.0f, 0.02f);
    for (size_t i = 0; i < samples.size(); ++i) {
        const double hz = 120.0 + 30.0 * static_cast<double>((i / 4000) % 4);
        samples[i] = 0.4f * static_cast<float>(std::sin(2 * M_PI * hz * static_cast<double>(i) / 16000.0)) + noise(rng);
    }
    return samples;
}

struct Config {
    const char* name;
    WhisperConfig whisper;
};

void run(const Config& config, int runs) {
    const auto& c = config.whisper;
    std::printf("== %s: d_model %lld, %lld + %lld layers, %lld mels, vocabulary %lld\n", config.name,
                static_cast<long long>(c.dModel), static_cast<long long>(c.encoderLayers),
                static_cast<long long>(c.decoderLayers), static_cast<long long>(c.numMelBins),
                static_cast<long long>(c.vocabSize));
    std::fflush(stdout);
    auto mel = std::make_shared<FeatureExtractor>();
    auto encoder = std::make_shared<AudioEncoder>();
    auto decoder = std::make_shared<TextDecoder>();
    {
        MemoryTensorSource weights;
        fillRandomWeights(c, 1, weights);
        const auto filters = LogMelModel::melFilters(c.numMelBins);
        FloatBuffer bank(filters.size());
        std::copy(filters.begin(), filters.end(), bank.data());
        weights.put("mel_filters", {c.numMelBins, 201}, std::move(bank));
        mel->setModel(std::make_shared<LogMelModel>(LogMelModel::manifest(c.numMelBins), weights));
        encoder->setModel(std::make_shared<WhisperEncoderModel>(WhisperEncoderModel::manifest(c.encoder()), weights));
        decoder->setModel(std::make_shared<WhisperDecoderModel>(WhisperDecoderModel::manifest(c.decoder()), weights));
    }
    test_support::WhisperVocabulary vocabulary;
    vocabulary.languageCount = c.vocabSize == 51866 ? 100 : 99;
    auto tokenizer = std::make_shared<WhisperTokenizerWrapper>(Tokenizers::TokenizerWrapper(vocabulary.build()));
    decoder->setTokenizer(tokenizer);
    decoder->setIsModelMultilingual(true);
    // Random weights may pick the end token early: forbid it, so every run
    // decodes the same number of tokens.
    decoder->setLogitsFilters(std::vector<std::shared_ptr<LogitsFiltering>>{
        std::make_shared<SuppressTokensFilter>(std::vector<int64_t>{tokenizer->specialTokens().endToken})});

    DecodingOptions options;
    options.language = "es";
    options.withoutTimestamps = true;
    options.skipSpecialTokens = true;
    options.sampleLength = kTokens;
    options.temperatureFallbackCount = 0;
    options.compressionRatioThreshold = options.logProbThreshold = options.firstTokenLogProbThreshold =
        options.noSpeechThreshold = std::nullopt;

    // Without a progress callback (the dictation road), then with one that
    // only counts the reports (each step then builds and hands one off).
    int warmups = 1;
    for (const bool reporting : {false, true}) {
        std::printf("%s\n", reporting ? "with a progress callback:" : "without a progress callback:");
        std::printf("%4s %14s %10s %10s %14s %12s %10s\n", "run", "samples->text", "mel", "encoder", "decoder steps",
                    "stages sum", "loop adds");
        double totalWall = 0, totalStages = 0;
        // Reports may arrive after a run has returned: the counter is shared with them.
        const auto reports = std::make_shared<std::atomic<int>>(0);
        for (int r = 1 - warmups; r <= runs; ++r) {
            const auto audio = utterance(static_cast<uint32_t>(reporting * 1000 + r + 1));
            TranscribeTask task(TranscriptionTimings{}, nullptr, nullptr, encoder, mel, std::make_shared<SegmentSeeker>(),
                                decoder, tokenizer);
            TranscribeTask::ProgressCallback callback;
            if (reporting) {
                callback = [reports](const TranscriptionProgress&) -> std::optional<bool> {
                    ++*reports;
                    return std::nullopt;
                };
            }
            const auto start = Clock::now();
            const auto result = task.run(audio, options, callback);
            const double wall = seconds(start, Clock::now());
            const auto t = result->timings();
            const double stages = t.logmels + t.encoding + t.decodingPredictions;
            if (r < 1) {
                const auto decoded = result->segments().empty() ? 0 : result->segments()[0].tokens.size();
                std::printf("warm-up: %.3f s, %lld tokens sampled\n", wall, static_cast<long long>(decoded) - 5);
                continue;
            }
            totalWall += wall;
            totalStages += stages;
            std::printf("%4d %13.3fs %9.3fs %9.3fs %13.3fs %11.3fs %9.2f%%\n", r, wall, t.logmels, t.encoding,
                        t.decodingPredictions, stages, 100.0 * (wall - stages) / stages);
            std::printf("     of the rest: fitting %.1f ms, inputs %.1f ms, filters %.1f ms, sampling %.1f ms, cache %.1f ms, "
                        "other per-token work %.1f ms, segments %.1f ms\n",
                        t.audioProcessing * 1e3, t.decodingInit * 1e3, t.decodingFiltering * 1e3, t.decodingSampling * 1e3,
                        t.decodingKvCaching * 1e3,
                        (t.decodingNonPrediction - t.decodingFiltering - t.decodingSampling - t.decodingKvCaching) * 1e3,
                        t.decodingWindowing * 1e3);
        }
        std::printf("all  %13.3fs %46.3fs %9.2f%%  (goal: at most 5%%)%s\n\n", totalWall, totalStages,
                    100.0 * (totalWall - totalStages) / totalStages,
                    reporting ? (", " + std::to_string(reports->load()) + " reports").c_str() : "");
        warmups = 0;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string which = argc > 1 ? argv[1] : "all";
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const WhisperConfig turbo = parlox::bench::largeV3TurboSize();
    const WhisperConfig base = parlox::bench::baseSize();
    if (which == "base" || which == "all") run({"base", base}, runs);
    if (which == "turbo" || which == "all") run({"large-v3 turbo", turbo}, runs);
    return 0;
}
