#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

#include "DecodingTestSupport.hpp"
#include "DovuzudUza/Core/Audio/AudioProcessor.hpp"
#include "ZezeziCore/External/Hub/HubApiWrapper.hpp"
#include "ZezeziCore/External/Tokenizers/AutoTokenizer.hpp"
#include "platform/ml/WhisperCheckpoint.hpp"
#include "tests/platform/ml/Reference.hpp"
#include "tests/support/TemporaryFolder.hpp"

using namespace DovuzudUza;
using namespace DovuzudUza::decoding_test;
namespace fs = std::filesystem;

namespace {

// A tiny random checkpoint with the fixture's tokenizer, converted into a
// variant folder by the converter tool, and the engine's stages loaded from it.
struct ConvertedModel {
    parlox::testing::TemporaryFolder folder;
    fs::path checkpoint = folder / "checkpoint";
    fs::path variant = folder / "variant";
    std::shared_ptr<FeatureExtractor> mel = std::make_shared<FeatureExtractor>();
    std::shared_ptr<AudioEncoder> encoder = std::make_shared<AudioEncoder>();
    std::shared_ptr<TextDecoder> decoder = std::make_shared<TextDecoder>();
    std::shared_ptr<WhisperTokenizerWrapper> tokenizer;

    ConvertedModel() {
        platform::ml::WhisperConfig config;
        config.numMelBins = 80;
        config.dModel = 64;
        config.encoderLayers = config.decoderLayers = 2;
        config.encoderAttentionHeads = config.decoderAttentionHeads = 4;
        config.encoderFfnDim = config.decoderFfnDim = 256;
        config.vocabSize = 51865;
        config.alignmentHeads = {{1, 0}, {1, 2}};
        platform::ml::generateRandomCheckpoint(checkpoint, config, 11);
        test_support::WhisperVocabulary{}.write(checkpoint);
        const std::string tool = std::string(PARLOX_BINARY_DIR) + "/tools/parlox-convert-whisper";
        const std::string command = "'" + tool + "' '" + checkpoint.string() + "' '" + variant.string() + "' >/dev/null";
        if (std::system(command.c_str()) != 0) throw std::runtime_error("conversion failed: " + command);

        const auto units = platform::ml::ComputeUnits::cpuOnly;
        mel->loadModel(variant / "MelSpectrogram.mlmodelc", units, false);
        decoder->loadModel(variant / "TextDecoder.mlmodelc", units, false);
        encoder->loadModel(variant / "AudioEncoder.mlmodelc", units, false);
        tokenizer = std::make_shared<WhisperTokenizerWrapper>(
            Tokenizers::AutoTokenizerWrapper::fromModelFolder(variant, Hub::HubApiWrapper(), true), variant);
        decoder->setTokenizer(tokenizer);
        decoder->setIsModelMultilingual(decoder->logitsSize() != 51864);
    }

    std::shared_ptr<TranscribeTask> task(std::shared_ptr<AudioEncoding> audioEncoder = nullptr) const {
        return std::make_shared<TranscribeTask>(TranscriptionTimings{}, nullptr, nullptr,
                                                audioEncoder ? audioEncoder : encoder, mel,
                                                std::make_shared<SegmentSeeker>(), decoder, tokenizer);
    }
};

const ConvertedModel& model() {
    static const ConvertedModel shared;
    return shared;
}

// Speech-like audio: a few tones that change every half second, and noise.
std::vector<float> generatedAudio(double seconds) {
    std::vector<float> samples(static_cast<size_t>(seconds * 16000));
    std::mt19937 rng(3);
    std::normal_distribution<float> noise(0.0f, 0.01f);
    for (size_t i = 0; i < samples.size(); ++i) {
        const double hz = 180.0 + 40.0 * static_cast<double>((i / 8000) % 5);
        samples[i] = 0.3f * static_cast<float>(std::sin(2 * M_PI * hz * static_cast<double>(i) / 16000.0)) + noise(rng);
    }
    return samples;
}

// Keeps what the encoder gave, for the reference to start from.
class RecordingEncoder : public AudioEncoding {
public:
    explicit RecordingEncoder(std::shared_ptr<AudioEncoder> inner) : inner_(std::move(inner)) {}
    std::optional<int64_t> embedSize() const override { return inner_->embedSize(); }
    AudioEncoderOutputType encodeFeatures(const FeatureExtractorOutputType& features, std::stop_token stop) override {
        outputs.push_back(inner_->encodeFeatures(features, stop));
        return outputs.back();
    }
    std::vector<AudioEncoderOutputType> outputs;

private:
    std::shared_ptr<AudioEncoder> inner_;
};

std::vector<int64_t> allTokens(const TranscriptionResult& result) {
    std::vector<int64_t> tokens;
    for (const auto& segment : result.segments()) tokens.insert(tokens.end(), segment.tokens.begin(), segment.tokens.end());
    return tokens;
}

}  // namespace

TEST(TranscriptionOnTheRuntime, SeventySecondsRunAndRepeatAtTemperatureZero) {
    DecodingOptions options;  // timestamps and the timestamp rules on
    options.temperatureFallbackCount = 0;
    options.firstTokenLogProbThreshold = std::nullopt;  // a random model's first token is never likely
    options.sampleLength = 64;                          // enough tokens per window, and quick
    const auto audio = generatedAudio(70);
    auto first = model().task();
    const auto one = first->run(audio, options);
    const auto two = model().task()->run(audio, options);

    EXPECT_EQ(first->progress()->completedUnitCount(), 1120000);
    EXPECT_GE(first->timings().totalEncodingRuns, 3);
    ASSERT_FALSE(one->segments().empty());
    EXPECT_EQ(allTokens(*one), allTokens(*two));
    EXPECT_EQ(one->text(), two->text());
    // The windows were decoded one after another over the whole audio.
    EXPECT_EQ(one->segments().front().seek, 0);
    EXPECT_GE(one->segments().back().seek, 960000 - 480000);
}

TEST(TranscriptionOnTheRuntime, GreedyTokensAreTheReferenceDecodersHighestLogits) {
    auto recording = std::make_shared<RecordingEncoder>(model().encoder);
    DecodingOptions options;
    options.language = "es";
    options.withoutTimestamps = true;
    options.temperatureFallbackCount = 0;
    options.sampleLength = 24;
    options.compressionRatioThreshold = std::nullopt;
    options.logProbThreshold = std::nullopt;
    options.firstTokenLogProbThreshold = std::nullopt;
    options.noSpeechThreshold = std::nullopt;
    const auto result = model().task(recording)->run(generatedAudio(5), options);

    ASSERT_EQ(recording->outputs.size(), 1u);
    const auto tokens = allTokens(*result);
    const auto& s = model().tokenizer->specialTokens();
    ASSERT_GE(tokens.size(), 6u);
    EXPECT_EQ(std::vector<int64_t>(tokens.begin(), tokens.begin() + 4),
              (std::vector<int64_t>{s.startOfTranscriptToken, *model().tokenizer->convertTokenToId("<|es|>"),
                                    s.transcribeToken, s.noTimestampsToken}));
    EXPECT_EQ(tokens.back(), s.endToken);  // closed by the sampler's finalize

    // The reference decodes the same encoder output over the engine's
    // tokens in one pass; the highest logit at every position from the
    // last prompt token on must be the engine's next token.
    parlox::testing::TemporaryFolder work;
    const auto& embeds = *recording->outputs.front();
    mltest::writeFloats(work / "encoder.f32", embeds.toFloatVector());
    const std::vector<int64_t> fed(tokens.begin(), tokens.end() - 1);
    const nlohmann::json job{{"checkpoint", model().checkpoint.string()},
                             {"tasks",
                              {{{"kind", "decoder"},
                                {"encoder", (work / "encoder.f32").string()},
                                {"tokens", fed},
                                {"out", (work / "logits.f32").string()}}}}};
    ASSERT_TRUE(mltest::runReference(work.path(), job));
    const auto logits = mltest::readFloats(work / "logits.f32");
    const size_t vocabulary = 51865;
    ASSERT_EQ(logits.size(), fed.size() * vocabulary);
    const size_t sampled = tokens.size() - 5;  // after the prompt, before the closing end token
    const bool endedByModel = sampled < static_cast<size_t>(options.sampleLength);
    for (size_t p = 3; p < fed.size(); ++p) {
        const auto row = logits.begin() + static_cast<std::ptrdiff_t>(p * vocabulary);
        const auto best = static_cast<int64_t>(std::max_element(row, row + static_cast<std::ptrdiff_t>(vocabulary)) - row);
        const int64_t expected = p + 1 < fed.size() ? fed[p + 1] : s.endToken;
        if (p + 1 == fed.size() && !endedByModel) break;  // the token limit ended it, not the model
        EXPECT_EQ(best, expected) << "position " << p;
    }
}
