#include <gtest/gtest.h>

#include "tests/DovuzudUza/WhisperErrorOf.hpp"

#include <cmath>

#include "DovuzudUza/Core/Constants.hpp"
#include "DovuzudUza/Core/DovuzudUza.hpp"
#include "DovuzudUza/Core/FeatureExtractor.hpp"
#include "DovuzudUza/Core/TextDecoder.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "FacadeTestSupport.hpp"
#include "RandomCheckpoint.hpp"
#include "platform/audio/fake/WavWriter.hpp"
#include "platform/concurrency/Task.hpp"
#include "tests/DovuzudUza/Models/LogCapture.hpp"

using namespace DovuzudUza;
using Engine = DovuzudUza::DovuzudUza;
using ZezeziCore::ModelState;
namespace fs = std::filesystem;

namespace {

using test_support::speechLike;

DovuzudUzaConfig onFolder(const fs::path& folder, std::optional<bool> load = std::nullopt,
                          std::optional<bool> prewarm = std::nullopt) {
    DovuzudUzaConfig::Arguments a;
    a.modelFolder = folder.string();
    a.tokenizerFolder = folder.parent_path();
    a.download = false;
    a.load = load;
    a.prewarm = prewarm;
    return DovuzudUzaConfig(std::move(a));
}

// The same checkpoint with another vocabulary size, converted.
fs::path modelWithVocabulary(const parlox::testing::TemporaryFolder& tmp, int64_t vocabulary) {
    auto config = test_support::tinyWhisperConfig();
    config.vocabSize = vocabulary;
    test_support::RandomCheckpoint checkpoint(3, config);
    const auto folder = tmp.path() / ("v" + std::to_string(vocabulary));
    platform::ml::convertCheckpoint(checkpoint.folder, folder);
    return folder;
}

}  // namespace

TEST(RealEngine, AFullLoadBringsTheModelsAndTheTokenizerFromTheFolder) {
    std::vector<std::pair<std::optional<ModelState>, ModelState>> changes;
    auto engine = Engine::create(onFolder(test_support::convertedModel(), false));
    test_support::LogCapture log(ZezeziCore::Logging::LogLevel::info);
    engine->setModelStateCallback([&](std::optional<ModelState> from, ModelState to) { changes.emplace_back(from, to); });
    engine->loadModels();
    EXPECT_EQ(changes, (std::vector<std::pair<std::optional<ModelState>, ModelState>>{
                           {ModelState::unloaded, ModelState::loading}, {ModelState::loading, ModelState::loaded}}));
    ASSERT_TRUE(engine->tokenizer());
    EXPECT_EQ(engine->textDecoder()->tokenizer(), engine->tokenizer());
    EXPECT_EQ(engine->modelVariant(), ModelVariant::base) << "an unknown width reads as base";
    EXPECT_GT(engine->currentTimings().modelLoading, 0.0);
    const auto lines = log.texts();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const auto& l) { return l.rfind("Loaded models in ", 0) == 0; }));

    const auto tokenizer = engine->tokenizer();
    engine->unloadModels();
    EXPECT_EQ(engine->modelState(), ModelState::unloaded);
    EXPECT_FALSE(std::dynamic_pointer_cast<FeatureExtractor>(engine->featureExtractor())->model());
    test_support::LogCapture debug;
    engine->loadModels();
    EXPECT_EQ(engine->tokenizer(), tokenizer);
    const auto again = debug.texts();
    EXPECT_NE(std::find(again.begin(), again.end(), "Tokenizer already exists on DovuzudUza, skipping load"), again.end());
}

TEST(RealEngine, TheVocabularySizeTellsAnEnglishOnlyModelWhichCannotDetectLanguage) {
    parlox::testing::TemporaryFolder tmp;
    for (const auto& [vocabulary, multilingual] : {std::pair<int64_t, bool>{51864, false}, {51866, true}}) {
        auto engine = Engine::create(onFolder(modelWithVocabulary(tmp, vocabulary), false, true));
        EXPECT_EQ(engine->modelState(), ModelState::prewarmed);
        if (multilingual) {
            const auto [language, probabilities] = engine->detectLangauge(speechLike(10));
            EXPECT_EQ(engine->modelState(), ModelState::loaded) << "a prewarmed engine loads in full first";
            EXPECT_TRUE(Constants::languageCodes().count(language)) << language;
            EXPECT_FALSE(probabilities.empty());
        } else {
            EXPECT_EQ(test_support::whisperError([&] { engine->detectLangauge(speechLike(10)); }).message(),
                      "Language detection not supported for this model");
        }
        EXPECT_EQ(engine->textDecoder()->isModelMultilingual(), multilingual);
    }
}

TEST(RealEngine, LanguageDetectionFromAFileReadsTheFirstWindow) {
    parlox::testing::TemporaryFolder tmp;
    const auto path = (tmp.path() / "long.wav").string();
    platform::audio::writeWav16(path, speechLike(45), 16000, 1);
    auto engine = Engine::create(onFolder(test_support::convertedModel()));
    const auto [language, probabilities] = engine->detectLanguage(path);
    EXPECT_TRUE(Constants::languageCodes().count(language)) << language;
    EXPECT_EQ(test_support::whisperError([&] { engine->detectLanguage((tmp.path() / "missing.wav").string()); }).message(),
              "Resource path does not exist " + (tmp.path() / "missing.wav").string());
}

TEST(RealEngine, OneArrayGivesOneResultAndATreeOfProgress) {
    auto engine = Engine::create(onFolder(test_support::convertedModel(), false));
    EXPECT_EQ(engine->modelState(), ModelState::unloaded);
    const auto fresh = engine->progress();
    EXPECT_EQ(fresh->totalUnitCount(), 0);
    std::vector<TranscriptionSegment> seen;
    const auto results = engine->transcribe(speechLike(3), DecodingOptions(), nullptr,
                                            [&](const std::vector<TranscriptionSegment>& s) { seen.insert(seen.end(), s.begin(), s.end()); });
    EXPECT_EQ(engine->modelState(), ModelState::loaded) << "loaded on demand";
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results[0]->seekTime().has_value());
    EXPECT_EQ(results[0]->segments().size(), seen.size());
    EXPECT_EQ(fresh->totalUnitCount(), 1);
    EXPECT_NE(engine->progress(), fresh) << "a finished tree is replaced";

    std::stop_source stop;
    stop.request_stop();
    const auto before = engine->progress();
    EXPECT_THROW(engine->transcribe(speechLike(3), std::nullopt, nullptr, nullptr, stop.get_token()),
                 platform::CancellationError);
    EXPECT_NE(engine->progress(), before) << "a stopped run leaves a fresh tree";

    engine->setTokenizer(nullptr);
    const auto kept = engine->progress();
    EXPECT_EQ(test_support::whisperError([&] { engine->transcribe(speechLike(3), std::nullopt); }).message(), "Tokenizer is unavailable");
    EXPECT_EQ(engine->progress(), kept);
}

TEST(RealEngine, LongAudioAndBatchesOfFilesOnTheRealRuntime) {
    auto engine = Engine::create(onFolder(test_support::convertedModel()));
    DecodingOptions options;
    options.chunkingStrategy = ChunkingStrategy::vad;
    options.concurrentWorkerCount = 2;
    const auto chunked = engine->transcribe(speechLike(70), options);
    ASSERT_GE(chunked.size(), 3u);
    for (size_t i = 1; i < chunked.size(); ++i) EXPECT_GT(*chunked[i]->seekTime(), *chunked[i - 1]->seekTime());

    parlox::testing::TemporaryFolder tmp;
    const auto short3 = (tmp.path() / "short.wav").string();
    const auto long40 = (tmp.path() / "long.wav").string();
    platform::audio::writeWav16(short3, speechLike(3), 16000, 1);
    platform::audio::writeWav16(long40, speechLike(40), 16000, 1);
    for (const auto& mode : {AudioInputOptions::AudioLoadingMode::fullFile(),
                             AudioInputOptions::AudioLoadingMode::makeIncremental(20, 2)}) {
        const auto outcomes = engine->transcribeWithResults({short3, (tmp.path() / "none.wav").string(), long40},
                                                            AudioInputOptions({}, mode), std::nullopt);
        ASSERT_EQ(outcomes.size(), 3u);
        EXPECT_TRUE(std::holds_alternative<TranscriptionResults>(outcomes[0]));
        EXPECT_TRUE(std::holds_alternative<std::exception_ptr>(outcomes[1]));
        EXPECT_TRUE(std::holds_alternative<TranscriptionResults>(outcomes[2]));
    }
}
