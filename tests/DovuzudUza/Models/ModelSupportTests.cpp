#include <gtest/gtest.h>

#include "DovuzudUza/Core/Constants.hpp"
#include "DovuzudUza/Core/JsonCoding.hpp"
#include "DovuzudUza/Core/ModelComputeOptions.hpp"
#include "DovuzudUza/Core/ModelSupport.hpp"
#include "DovuzudUza/Core/ModelUtilities.hpp"
#include "LogCapture.hpp"

using namespace DovuzudUza;
using nlohmann::json;

TEST(ModelVariant, DescriptionsAndMultilingualFlag) {
    std::string all;
    for (ModelVariant v : allModelVariants()) all += description(v) + (isMultilingual(v) ? "+ " : "- ");
    EXPECT_EQ(all, "tiny+ tiny.en- base+ base.en- small+ small.en- medium+ medium.en- large+ large-v2+ large-v3+ ");
    EXPECT_EQ(ModelUtilities::tokenizerNameForVariant(ModelVariant::tinyEn), "openai/whisper-tiny.en");
    EXPECT_EQ(ModelUtilities::tokenizerNameForVariant(ModelVariant::largev3), "openai/whisper-large-v3");
    EXPECT_EQ(ModelUtilities::tokenizerNameForVariant(ModelVariant::large), "openai/whisper-large");
}

TEST(ModelVariant, DetectVariantFromDimensions) {
    struct Case {
        int64_t logits, encoder;
        ModelVariant variant;
    };
    std::vector<Case> cases{
        {51865, 1280, ModelVariant::largev2}, {51866, 384, ModelVariant::largev3},
        {51864, 1280, ModelVariant::baseEn},  {51865, 640, ModelVariant::base},
        {51864, 385, ModelVariant::baseEn},   {51864, 384, ModelVariant::tinyEn},
        {51865, 1024, ModelVariant::medium},  {51864, 768, ModelVariant::smallEn},
    };
    test_support::LogCapture log(ZezeziCore::Logging::LogLevel::error);
    for (const auto& c : cases) EXPECT_EQ(ModelUtilities::detectVariant(c.logits, c.encoder), c.variant);
    EXPECT_TRUE(log.texts().empty());
    EXPECT_EQ(ModelUtilities::detectVariant(50000, 384), ModelVariant::base);
    EXPECT_EQ(log.texts(), std::vector<std::string>{"Unrecognized vocabulary size: 50000, defaulting to base variant"});
}

TEST(ModelComputeOptions, DefaultsForARuntimeWithoutNeuralEngine) {
    using CU = platform::ml::ComputeUnits;
    ModelComputeOptions options;
    EXPECT_EQ(options.melCompute, CU::cpuAndGPU);
    EXPECT_EQ(options.audioEncoderCompute, CU::cpuAndGPU);
    EXPECT_EQ(options.textDecoderCompute, CU::cpuAndNeuralEngine);
    ModelComputeOptions chosen(CU::cpuOnly, std::nullopt, CU::all);
    EXPECT_EQ(chosen.audioEncoderCompute, CU::cpuAndGPU);
    EXPECT_EQ(ModelComputeOptions(CU::cpuOnly, CU::cpuOnly, CU::cpuOnly).audioEncoderCompute, CU::cpuOnly);
}

TEST(ModelSupport, BuiltInTableKnownModelsAndDisabledLists) {
    const auto& config = Constants::fallbackModelSupportConfig();
    ASSERT_EQ(config.deviceSupports.size(), 6u);
    ASSERT_EQ(config.knownModels.size(), 22u);
    EXPECT_EQ(Constants::knownModels(), config.knownModels);
    EXPECT_EQ(config.knownModels.front(), "openai_whisper-base");
    EXPECT_EQ(config.knownModels[14], "openai_whisper-large-v2");
    EXPECT_EQ(config.knownModels.back(), "openai_whisper-large-v3-v20240930_turbo");
    std::vector<size_t> disabled;
    for (const auto& entry : config.deviceSupports) disabled.push_back(entry.models.disabled.size());
    EXPECT_EQ(disabled, (std::vector<size_t>{18, 8, 9, 0, 16, 8}));
    EXPECT_EQ(config.deviceSupports[1].models.disabled.front(), "openai_whisper-large-v2");
    EXPECT_TRUE(config.defaultSupport.models.disabled.empty());
}

TEST(ModelSupport, DeviceLookupTakesTheLongestPrefix) {
    const auto& config = Constants::fallbackModelSupportConfig();
    struct Case {
        std::string device;
        int entry;  // -1: default
    };
    std::vector<Case> cases{
        {"MacBookPro18,3", 2}, {"Mac14,2", 3},    {"iPad13,16", 2}, {"iPad13,1", 4},
        {"iPad14,10", 3},      {"iPhone17,1", 1}, {"Linux", -1},    {"", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        auto models = ModelUtilities::modelSupport(c.device);
        if (c.entry < 0)
            EXPECT_EQ(models, config.defaultSupport.models);
        else
            EXPECT_EQ(models, config.deviceSupports[static_cast<size_t>(c.entry)].models);
    }
    auto unknown = config.modelSupport("Unknown1,1");
    EXPECT_EQ(unknown.defaultModel, "openai_whisper-base");
    EXPECT_EQ(unknown.supported.size(), 22u);
    EXPECT_TRUE(unknown.disabled.empty());
}

TEST(ModelSupport, LookupLogLines) {
    test_support::LogCapture log;
    Constants::fallbackModelSupportConfig().modelSupport("iPhone14,2");
    Constants::fallbackModelSupportConfig().modelSupport("Box1");
    auto texts = log.texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "Matched iPhone14,2 to devices: [\"iPhone14\", \"iPad14,1\", \"iPad14,2\"]");
    EXPECT_EQ(texts[1], "No device support found for Box1, using default");
}

TEST(ModelSupport, RemoteConfigurationNamedLikeTheBuiltInOneIsMerged) {
    json remote = json::parse(R"({"name":"dovuzuduza-coreml","version":"1.0","device_support":[
        {"identifiers":["Mac14"],"models":{"default":"m-own","supported":["m-own","openai_whisper-base"]}}]})");
    auto config = modelSupportConfigFromJson(remote);
    const auto& builtIn = Constants::fallbackModelSupportConfig().deviceSupports;
    ASSERT_EQ(config.deviceSupports.size(), 6u);
    const auto& merged = config.deviceSupports[0];
    EXPECT_FALSE(merged.chips.has_value());
    EXPECT_EQ(merged.models.defaultModel, "m-own");
    ASSERT_EQ(merged.models.supported.size(), 1u + builtIn[3].models.supported.size());
    EXPECT_EQ(merged.models.supported[0], "m-own");
    EXPECT_EQ(merged.models.supported[1], "openai_whisper-base");
    EXPECT_EQ(merged.models.supported[2], "openai_whisper-tiny");
    EXPECT_TRUE(merged.models.disabled.empty());
    std::vector<std::optional<std::string>> chips;
    for (size_t i = 1; i < config.deviceSupports.size(); ++i) chips.push_back(config.deviceSupports[i].chips);
    EXPECT_EQ(chips, (std::vector<std::optional<std::string>>{"A12, A13, S9, S10", "A16, A17 Pro, A18", "M1", "A14",
                                                               "A15"}));
    EXPECT_EQ(config.knownModels.size(), 23u);
    EXPECT_EQ(config.knownModels[0], "m-own");
    // Entry 1 (A12) now also lacks the remote's own model.
    EXPECT_EQ(config.deviceSupports[1].models.disabled.size(), 19u);
}

TEST(ModelSupport, OtherNamesKeepTheirOwnEntries) {
    json remote = json::parse(R"({"name":"someone-else","version":"1","device_support":[
        {"chips":"X","identifiers":["Mac14"],"models":{"default":"a","supported":["a","b"]}},
        {"chips":null,"identifiers":["iPhone"],"models":{"default":"b","supported":["b"]}}]})");
    auto config = modelSupportConfigFromJson(remote);
    ASSERT_EQ(config.deviceSupports.size(), 2u);
    EXPECT_EQ(config.knownModels, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(config.defaultSupport.models.defaultModel, "openai_whisper-base");
    EXPECT_EQ(config.deviceSupports[1].models.disabled, (std::vector<std::string>{"a"}));
    EXPECT_FALSE(config.deviceSupports[1].chips.has_value());

    nlohmann::ordered_json written = config;
    std::string text = written.dump();
    EXPECT_EQ(text.find("disabled"), std::string::npos);
    EXPECT_EQ(text.find("knownModels"), std::string::npos);
    EXPECT_EQ(written["device_support"][1].count("chips"), 0u);
    auto reread = modelSupportConfigFromJson(json::parse(text));
    EXPECT_EQ(reread.deviceSupports, config.deviceSupports);

    // The constructor merges only when asked.
    ModelSupportConfig plain("dovuzuduza-coreml", "1", {}, false);
    EXPECT_TRUE(plain.deviceSupports.empty());
    ModelSupportConfig merged("coreml", "1", {}, true);
    EXPECT_EQ(merged.deviceSupports.size(), 6u);
    ModelSupportConfig empty("", "1", {}, true);
    EXPECT_TRUE(empty.deviceSupports.empty());
}

TEST(ModelSupport, JsonReadFailures) {
    std::vector<std::string> bad{
        R"({"name":"x","version":"1"})",
        R"({"name":"x","version":"1","device_support":{}})",
        R"({"name":"x","version":1,"device_support":[]})",
        R"({"name":"x","version":"1","device_support":[{"identifiers":["a"]}]})",
        R"({"name":"x","version":"1","device_support":[{"identifiers":["a"],"models":{"default":"a"}}]})",
    };
    for (const auto& text : bad) EXPECT_THROW(modelSupportConfigFromJson(json::parse(text)), JsonDecodingError) << text;
}

TEST(ModelUtilities, FormatModelFiles) {
    std::vector<std::string> files{
        "openai_whisper-large-v3/AudioEncoder.mlmodelc/model.json",
        "openai_whisper-tiny.en/config.json",
        "openai_whisper-tiny/config.json",
        "openai_whisper-base/config.json",
        "openai_whisper-base/TextDecoder.mlmodelc/weights.safetensors",
        "config.json",
        "distil-whisper_distil-large-v3_594MB/config.json",
        "README.md",
    };
    EXPECT_EQ(ModelUtilities::formatModelFiles(files),
              (std::vector<std::string>{"openai_whisper-tiny", "openai_whisper-tiny.en", "openai_whisper-base",
                                        "distil-whisper_distil-large-v3_594MB", "openai_whisper-large-v3"}));
    EXPECT_TRUE(ModelUtilities::formatModelFiles({}).empty());
}
