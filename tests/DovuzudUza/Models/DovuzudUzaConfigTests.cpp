#include <gtest/gtest.h>

#include "DovuzudUza/Core/Constants.hpp"
#include "DovuzudUza/Core/DovuzudUzaConfig.hpp"

using namespace DovuzudUza;
using ZezeziCore::Logging;

namespace {
class NoFilter : public LogitsFiltering {
public:
    std::shared_ptr<platform::ml::MultiArray> filterLogits(std::shared_ptr<platform::ml::MultiArray> logits,
                                                           const std::vector<int64_t>&) override {
        return logits;
    }
};
}  // namespace

TEST(DovuzudUzaConfig, EveryOptionalStartsAbsentAndResolvesToTheEngineDefaults) {
    DovuzudUzaConfig config;
    EXPECT_FALSE(config.model || config.downloadBase || config.modelRepo || config.modelToken ||
                 config.modelEndpoint || config.modelFolder || config.tokenizerFolder || config.computeOptions ||
                 config.audioInputConfig() || config.logitsFilters || config.prewarm || config.load);
    EXPECT_FALSE(config.audioProcessor || config.featureExtractor || config.audioEncoder || config.textDecoder ||
                 config.segmentSeeker || config.voiceActivityDetector);
    EXPECT_TRUE(config.download);
    EXPECT_EQ(config.resolvedModelRepo(), "vuvidezev/dovuzuduza-coreml");
    EXPECT_EQ(config.resolvedModelEndpoint(), Constants::defaultRemoteEndpoint);
    EXPECT_EQ(config.resolvedComputeOptions(), ModelComputeOptions());
    EXPECT_EQ(config.resolvedAudioInputConfig(), AudioInputOptions(AudioInputOptions::ChannelMode::sumChannels(),
                                                                   AudioInputOptions::AudioLoadingMode::fullFile()));
    EXPECT_FALSE(config.loadsAtConstruction());
    EXPECT_FALSE(config.prewarmsAtConstruction());
}

TEST(DovuzudUzaConfig, LoadAndLoggingRules) {
    struct Case {
        std::optional<std::string> modelFolder;
        std::optional<bool> load;
        bool loads;
    };
    for (const auto& c : std::vector<Case>{{"/models/x", std::nullopt, true},
                                           {"/models/x", false, false},
                                           {std::nullopt, true, true},
                                           {std::nullopt, std::nullopt, false}}) {
        DovuzudUzaConfig config({.modelFolder = c.modelFolder, .load = c.load});
        EXPECT_EQ(config.loadsAtConstruction(), c.loads);
    }
    EXPECT_EQ(DovuzudUzaConfig({.verbose = false, .logLevel = Logging::LogLevel::debug}).effectiveLogLevel(),
              Logging::LogLevel::none);
    EXPECT_EQ(DovuzudUzaConfig({.verbose = true, .logLevel = Logging::LogLevel::debug}).effectiveLogLevel(),
              Logging::LogLevel::debug);
}

TEST(DovuzudUzaConfig, StoresWhatItIsGivenAndSharesStages) {
    auto filter = std::make_shared<NoFilter>();
    AudioInputOptions input(AudioInputOptions::ChannelMode::specificChannel(1),
                            AudioInputOptions::AudioLoadingMode::incremental());
    DovuzudUzaConfig config({.model = "openai_whisper-tiny",
                             .modelRepo = "someone/repo",
                             .modelEndpoint = "http://127.0.0.1:8080",
                             .audioInputConfig = input,
                             .logitsFilters = std::vector<std::shared_ptr<LogitsFiltering>>{filter},
                             .prewarm = true});
    EXPECT_EQ(config.resolvedModelRepo(), "someone/repo");
    EXPECT_EQ(config.resolvedModelEndpoint(), "http://127.0.0.1:8080");
    EXPECT_EQ(config.audioInputConfig(), input);
    EXPECT_EQ(config.logitsFilters->front(), filter);
    EXPECT_TRUE(config.prewarmsAtConstruction());

    config.setAudioInputConfig(std::nullopt);
    EXPECT_FALSE(config.audioInputConfig());
    config.logitsFilters = std::vector<std::shared_ptr<LogitsFiltering>>{};
    EXPECT_TRUE(config.logitsFilters && config.logitsFilters->empty());
}
