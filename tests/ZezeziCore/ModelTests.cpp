#include <gtest/gtest.h>

#include "ZezeziCore/ModelState.hpp"
#include "ZezeziCore/ModelUtilities.hpp"
#include "platform/ml/fake/FakeModel.hpp"
#include "tests/support/TemporaryFolder.hpp"

using namespace ZezeziCore;
namespace fs = std::filesystem;
using platform::ml::ComputeUnits;
using parlox::testing::TemporaryFolder;

TEST(ModelStateTests, TextsAndBusyStates) {
    std::vector<std::pair<ModelState, std::string>> texts{
        {ModelState::unloading, "Unloading"},   {ModelState::unloaded, "Unloaded"},
        {ModelState::loading, "Loading"},       {ModelState::loaded, "Loaded"},
        {ModelState::prewarming, "Specializing"}, {ModelState::prewarmed, "Specialized"},
        {ModelState::downloading, "Downloading"}, {ModelState::downloaded, "Downloaded"}};
    int busy = 0;
    for (auto& [state, text] : texts) {
        EXPECT_EQ(description(state), text);
        busy += isBusy(state);
    }
    EXPECT_EQ(busy, 4);
    EXPECT_TRUE(isBusy(ModelState::downloading));
    EXPECT_FALSE(isBusy(ModelState::downloaded));
}

TEST(ModelStateTests, ComputeUnitTexts) {
    EXPECT_EQ(description(ComputeUnits::cpuAndGPU), "cpuAndGPU");
    EXPECT_EQ(displayName(ComputeUnits::cpuAndGPU), "GPU");
    EXPECT_EQ(displayName(ComputeUnits::cpuAndNeuralEngine), "Neural Engine");
    EXPECT_EQ(description(static_cast<ComputeUnits>(7)), "unknown");
    EXPECT_EQ(displayName(static_cast<ComputeUnits>(7)), "Unknown");
}

TEST(ModelUtilitiesTests, DetectsCompiledModelBeforePackage) {
    TemporaryFolder tmp;
    EXPECT_EQ(ModelUtilities::detectModelURL(tmp.path(), "AudioEncoder"), tmp.path() / "AudioEncoder.mlmodelc");
    tmp.writeFile("AudioEncoder.mlpackage/Data/com.apple.CoreML/model.mlmodel", "x");
    EXPECT_EQ(ModelUtilities::detectModelURL(tmp.path(), "AudioEncoder"),
              tmp.path() / "AudioEncoder.mlpackage/Data/com.apple.CoreML/model.mlmodel");
    fs::create_directories(tmp.path() / "AudioEncoder.mlmodelc");
    EXPECT_EQ(ModelUtilities::detectModelURL(tmp.path(), "AudioEncoder"), tmp.path() / "AudioEncoder.mlmodelc");
}

TEST(ModelUtilitiesTests, RecursiveAndFolderForms) {
    TemporaryFolder tmp;
    EXPECT_FALSE(ModelUtilities::detectModelURL(tmp.path() / "missing"));
    EXPECT_FALSE(ModelUtilities::detectModelURL(tmp.path()));
    tmp.writeFile("A.mlpackage/Data/com.apple.CoreML/model.mlmodel", "x");
    EXPECT_EQ(ModelUtilities::detectModelURL(tmp.path()), tmp.path() / "A.mlpackage/Data/com.apple.CoreML/model.mlmodel");
    fs::create_directories(tmp.path() / "Z.mlmodelc");
    EXPECT_EQ(ModelUtilities::detectModelURL(tmp.path()), tmp.path() / "Z.mlmodelc");

    fs::create_directories(tmp.path() / "deep/er/TextDecoder.mlmodelc");
    EXPECT_EQ(ModelUtilities::detectModelURL(tmp.path(), "TextDecoder", true), tmp.path() / "deep/er/TextDecoder.mlmodelc");
    EXPECT_EQ(ModelUtilities::detectModelURL(tmp.path(), "TextDecoder", false), tmp.path() / "TextDecoder.mlmodelc");
    EXPECT_EQ(ModelUtilities::detectModelURL(tmp.path(), "Nope", true), tmp.path() / "Nope.mlmodelc");
}

TEST(ModelUtilitiesTests, SeveralCandidatesGiveTheFirstInNameOrder) {
    // Made in an order that is neither the names' order nor its reverse, so
    // a choice by the folder's own listing order would show.
    TemporaryFolder tmp;
    for (const char* name : {"M", "A", "Z"}) fs::create_directories(tmp.path() / (std::string(name) + ".mlmodelc"));
    for (const char* name : {"y", "b", "x"}) tmp.writeFile(std::string(name) + ".mlpackage/Data/com.apple.CoreML/model.mlmodel", "x");
    EXPECT_EQ(ModelUtilities::detectModelURL(tmp.path()), tmp.path() / "A.mlmodelc");
    for (const char* name : {"A", "M", "Z"}) fs::remove_all(tmp.path() / (std::string(name) + ".mlmodelc"));
    EXPECT_EQ(ModelUtilities::detectModelURL(tmp.path()), tmp.path() / "b.mlpackage/Data/com.apple.CoreML/model.mlmodel");

    for (const char* folder : {"m", "a", "z"}) fs::create_directories(tmp.path() / folder / "TextDecoder.mlmodelc");
    EXPECT_EQ(ModelUtilities::detectModelURL(tmp.path(), "TextDecoder", true), tmp.path() / "a/TextDecoder.mlmodelc");
}

TEST(ModelUtilitiesTests, ShapeAndDimensionQueries) {
    platform::ml::ModelDescription d;
    d.addInput(platform::ml::FeatureDescription::multiArray("encoder_output_embeds", {1, 384, 1, 1500},
                                                            platform::ml::DataType::float16));
    d.addOutput(platform::ml::FeatureDescription::multiArray("logits", {1, 1, 51866}, platform::ml::DataType::float16));
    platform::ml::FeatureDescription image;
    image.name = "picture";
    image.type = platform::ml::FeatureType::image;
    d.addInput(image);
    platform::ml::FeatureDescription unconstrained;
    unconstrained.name = "free";
    d.addInput(unconstrained);
    auto model = platform::ml::FakeModel::make(d);

    EXPECT_EQ(ModelUtilities::getModelOutputDimension(model.get(), "logits", 2), 51866);
    EXPECT_EQ(ModelUtilities::getModelInputDimension(model.get(), "encoder_output_embeds", 1), 384);
    EXPECT_FALSE(ModelUtilities::getModelOutputDimension(model.get(), "logits", 3));
    EXPECT_FALSE(ModelUtilities::getModelOutputDimension(model.get(), "logits", -1));
    EXPECT_FALSE(ModelUtilities::getModelInputShape(model.get(), "picture"));
    EXPECT_FALSE(ModelUtilities::getModelInputShape(model.get(), "free"));
    EXPECT_FALSE(ModelUtilities::getModelInputShape(model.get(), "logits"));
    EXPECT_FALSE(ModelUtilities::getModelInputShape(nullptr, "logits"));
}

TEST(ModelUtilitiesTests, PredictionErrorsReachTheCaller) {
    platform::ml::ModelDescription d;
    d.addOutput(platform::ml::FeatureDescription::multiArray("logits", {1, 2}, platform::ml::DataType::float32));
    auto model = platform::ml::FakeModel::make(d, [](const platform::ml::FeatureProvider&) -> platform::ml::DictionaryFeatureProvider {
        throw std::runtime_error("broken model");
    });
    platform::ml::DictionaryFeatureProvider input;
    EXPECT_THROW(asyncPrediction(*model, input), std::runtime_error);
    model->setCallback({});
    auto out = asyncPrediction(*model, input);
    EXPECT_TRUE(out.contains("logits"));
}
