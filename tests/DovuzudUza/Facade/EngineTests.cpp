#include <gtest/gtest.h>

#include "tests/DovuzudUza/WhisperErrorOf.hpp"

#include "DovuzudUza/Core/Audio/AudioProcessor.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "DovuzudUza/Core/AudioEncoder.hpp"
#include "DovuzudUza/Core/Constants.hpp"
#include "DovuzudUza/Core/DovuzudUza.hpp"
#include "DovuzudUza/Core/FeatureExtractor.hpp"
#include "DovuzudUza/Core/SegmentSeeker.hpp"
#include "DovuzudUza/Core/TextDecoder.hpp"
#include "FakeEngine.hpp"
#include "RandomCheckpoint.hpp"
#include "tests/DovuzudUza/Models/LogCapture.hpp"

using namespace DovuzudUza;
using Engine = DovuzudUza::DovuzudUza;
using ZezeziCore::Logging;
using ZezeziCore::ModelState;
namespace fs = std::filesystem;

namespace {

// Records what construction asks of the lifecycle instead of doing it.
class SpyEngine : public Engine {
public:
    using Engine::Engine;
    using Engine::setModelState;

    struct Setup {
        std::optional<std::string> model, modelFolder;
        bool download;
        std::string remoteConfigName, endpoint;
    };
    std::vector<Setup> setups;
    std::vector<std::string> calls;

    void setupModels(const std::optional<std::string>& model, const std::optional<fs::path>&,
                     const std::optional<std::string>&, const std::optional<std::string>&,
                     const std::optional<std::string>& modelFolder, bool download, const std::string& remoteConfigName,
                     const std::string& endpoint, std::stop_token) override {
        setups.push_back({model, modelFolder, download, remoteConfigName, endpoint});
        calls.push_back("setup");
    }
    void prewarmModels(std::stop_token) override { calls.push_back("prewarm"); }
    void loadModels(bool prewarmMode, std::stop_token) override { calls.push_back(prewarmMode ? "prewarm" : "load"); }
};

// Restores the engine-wide log level the constructor changes.
struct KeepLogLevel {
    Logging::LogLevel level = Logging::shared().logLevel();
    ~KeepLogLevel() { Logging::updateLogLevel(level); }
};


}  // namespace

TEST(EngineObject, AnEmptyConfigurationGivesTheDefaults) {
    KeepLogLevel keep;
    Logging::updateLogLevel(Logging::LogLevel::debug);
    const auto engine = Engine::create<SpyEngine>(DovuzudUzaConfig());
    EXPECT_TRUE(std::dynamic_pointer_cast<AudioProcessor>(engine->audioProcessor()));
    EXPECT_TRUE(std::dynamic_pointer_cast<FeatureExtractor>(engine->featureExtractor()));
    EXPECT_TRUE(std::dynamic_pointer_cast<AudioEncoder>(engine->audioEncoder()));
    EXPECT_TRUE(std::dynamic_pointer_cast<TextDecoder>(engine->textDecoder()));
    EXPECT_TRUE(std::dynamic_pointer_cast<SegmentSeeker>(engine->segmentSeeker()));
    EXPECT_FALSE(engine->voiceActivityDetector());
    EXPECT_EQ(engine->modelCompute(), ModelComputeOptions());
    EXPECT_EQ(engine->audioInputOptions(), AudioInputOptions());
    EXPECT_EQ(engine->modelState(), ModelState::unloaded);
    EXPECT_EQ(engine->modelVariant(), ModelVariant::tiny);
    EXPECT_EQ(engine->currentTimings(), TranscriptionTimings());
    EXPECT_EQ(Logging::shared().logLevel(), Logging::LogLevel::none);
    ASSERT_EQ(engine->setups.size(), 1u);
    EXPECT_EQ(engine->setups[0].remoteConfigName, "config.json");
    EXPECT_EQ(engine->setups[0].endpoint, std::string(Constants::defaultRemoteEndpoint));
    EXPECT_EQ(engine->calls, std::vector<std::string>{"setup"}) << "a folder found later is loaded later";
}

TEST(EngineObject, ConfigurationDecidesLogLevelTokenizerFolderAndStartUp) {
    KeepLogLevel keep;
    struct Case {
        bool verbose;
        Logging::LogLevel level, expectedLevel;
        std::optional<fs::path> tokenizerFolder, downloadBase, expectedTokenizerFolder;
        std::optional<bool> prewarm, load;
        std::optional<std::string> modelFolder;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {false, Logging::LogLevel::debug, Logging::LogLevel::none, std::nullopt, "/base", "/base", std::nullopt,
         std::nullopt, "/m", {"setup", "load"}},
        {true, Logging::LogLevel::debug, Logging::LogLevel::debug, "/tok", "/base", "/tok", true, std::nullopt,
         std::nullopt, {"setup", "prewarm"}},
        {true, Logging::LogLevel::error, Logging::LogLevel::error, std::nullopt, std::nullopt, std::nullopt, true, true,
         std::nullopt, {"setup", "prewarm", "load"}},
        {false, Logging::LogLevel::info, Logging::LogLevel::none, std::nullopt, std::nullopt, std::nullopt,
         std::nullopt, false, "/m", {"setup"}},
    };
    for (const auto& c : cases) {
        DovuzudUzaConfig::Arguments a;
        a.verbose = c.verbose;
        a.logLevel = c.level;
        a.tokenizerFolder = c.tokenizerFolder;
        a.downloadBase = c.downloadBase;
        a.prewarm = c.prewarm;
        a.load = c.load;
        a.modelFolder = c.modelFolder;
        const auto engine = Engine::create<SpyEngine>(DovuzudUzaConfig(a));
        EXPECT_EQ(Logging::shared().logLevel(), c.expectedLevel);
        EXPECT_EQ(engine->tokenizerFolder(), c.expectedTokenizerFolder);
        EXPECT_EQ(engine->calls, c.calls);
    }
}

TEST(EngineObject, ConfiguredFiltersReplaceTheDecodersAndAbsentOnesKeepThem) {
    KeepLogLevel keep;
    auto decoder = std::make_shared<TextDecoder>();
    decoder->setLogitsFilters(std::vector<std::shared_ptr<LogitsFiltering>>(2));
    DovuzudUzaConfig::Arguments keeps;
    keeps.textDecoder = decoder;
    EXPECT_EQ(Engine::create<SpyEngine>(DovuzudUzaConfig(keeps))->textDecoder()->logitsFilters()->size(), 2u);
    DovuzudUzaConfig::Arguments replaces = keeps;
    replaces.logitsFilters = std::vector<std::shared_ptr<LogitsFiltering>>{};
    const auto engine = Engine::create<SpyEngine>(DovuzudUzaConfig(replaces));
    EXPECT_EQ(engine->textDecoder(), decoder) << "the configured stage itself, not a copy";
    EXPECT_TRUE(decoder->logitsFilters()->empty());
}

TEST(EngineObject, FieldWritesAndTheirSideEffects) {
    KeepLogLevel keep;
    const auto engine = Engine::create<SpyEngine>(DovuzudUzaConfig());
    std::vector<std::pair<std::optional<ModelState>, ModelState>> changes;
    engine->setModelStateCallback([&](std::optional<ModelState> from, ModelState to) { changes.emplace_back(from, to); });
    engine->setModelState(ModelState::unloaded);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].first, ModelState::unloaded);
    EXPECT_EQ(changes[0].second, ModelState::unloaded);

    engine->setTokenizer(nullptr);
    EXPECT_EQ(engine->textDecoder()->tokenizer(), nullptr);

    const AudioInputOptions incremental(AudioInputOptions::ChannelMode::specificChannel(1),
                                        AudioInputOptions::AudioLoadingMode::incremental());
    engine->setAudioInputConfig(incremental);
    EXPECT_EQ(engine->audioInputOptions(), incremental);
    engine->setAudioInputOptions(AudioInputOptions());
    EXPECT_EQ(engine->audioInputConfig(), AudioInputOptions());
}

// --- Model lifecycle ---------------------------------------------------------------

TEST(ModelLifecycle, AGivenFolderIsTakenAsItIsAndNoFolderNoDownloadDoesNothing) {
    KeepLogLevel keep;
    auto engine = std::make_shared<Engine>(test_support::offlineConfig());
    // An endpoint nobody answers: reaching for the hub would fail.
    engine->setupModels(std::nullopt, std::nullopt, std::nullopt, std::nullopt, "/some/folder", true, "config.json",
                        "http://127.0.0.1:1");
    EXPECT_EQ(engine->modelFolder(), fs::path("/some/folder"));
    auto other = std::make_shared<Engine>(test_support::offlineConfig());
    other->setupModels("tiny", std::nullopt, std::nullopt, std::nullopt, std::nullopt, false, "config.json",
                       "http://127.0.0.1:1");
    EXPECT_FALSE(other->modelFolder());
}

TEST(ModelLifecycle, AFailedDownloadIsReportedAsAMissingModel) {
    KeepLogLevel keep;
    parlox::testing::TemporaryFolder base;
    auto engine = std::make_shared<Engine>(test_support::offlineConfig());
    const auto message = test_support::whisperError([&] {
        engine->setupModels("huge-v9", base.path(), std::nullopt, std::nullopt, std::nullopt, true, "config.json",
                            "http://127.0.0.1:1");
    }).message();
    EXPECT_EQ(message.rfind("Model not found. Please check the model or repo name and try again.\nError: No models found", 0),
              0u)
        << message;
    EXPECT_FALSE(engine->modelFolder());
}

TEST(ModelLifecycle, LoadingChecksTheFolderAndEveryFileBeforeLoadingAny) {
    KeepLogLevel keep;
    parlox::testing::TemporaryFolder tmp;
    const fs::path folder = tmp.path() / "partial";
    fs::create_directories(folder);
    fs::copy(test_support::convertedModel() / "MelSpectrogram.mlmodelc", folder / "MelSpectrogram.mlmodelc",
             fs::copy_options::recursive);
    fs::copy(test_support::convertedModel() / "TextDecoder.mlmodelc", folder / "TextDecoder.mlmodelc",
             fs::copy_options::recursive);
    struct Case {
        std::optional<fs::path> folder;
        std::string message;
    };
    for (const auto& c : {Case{std::nullopt, "Model folder is not set."},
                          Case{folder, "Model file not found at " + (folder / "AudioEncoder.mlmodelc").string()}}) {
        auto engine = std::make_shared<Engine>(test_support::offlineConfig());
        engine->setModelFolder(c.folder);
        EXPECT_EQ(test_support::whisperError([&] { engine->loadModels(); }).message(), c.message);
        EXPECT_EQ(engine->modelState(), ModelState::loading) << "a failed load is not rolled back";
        EXPECT_FALSE(std::dynamic_pointer_cast<FeatureExtractor>(engine->featureExtractor())->model());
    }
}

TEST(ModelLifecycle, PrewarmingLoadsEachModelOnceAndKeepsNone) {
    KeepLogLevel keep;
    auto engine = std::make_shared<Engine>(test_support::offlineConfig());
    engine->setModelFolder(test_support::convertedModel());
    std::vector<ModelState> states;
    engine->setModelStateCallback([&](std::optional<ModelState>, ModelState to) { states.push_back(to); });
    engine->prewarmModels();
    EXPECT_EQ(states, (std::vector<ModelState>{ModelState::prewarming, ModelState::prewarmed}));
    EXPECT_FALSE(std::dynamic_pointer_cast<FeatureExtractor>(engine->featureExtractor())->model());
    EXPECT_FALSE(std::dynamic_pointer_cast<AudioEncoder>(engine->audioEncoder())->model());
    EXPECT_FALSE(engine->tokenizer());
    EXPECT_GT(engine->currentTimings().prewarmLoadTime, 0.0);
    EXPECT_GT(engine->currentTimings().encoderSpecializationTime, 0.0);
}
