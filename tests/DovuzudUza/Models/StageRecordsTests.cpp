#include <gtest/gtest.h>

#include <thread>

#include "DovuzudUza/Core/AudioChunk.hpp"
#include "DovuzudUza/Core/AudioSampleStream.hpp"
#include "DovuzudUza/Core/ModelFeatureRecords.hpp"
#include "DovuzudUza/Core/WhisperMLModel.hpp"
#include "platform/ml/ModelLoader.hpp"
#include "platform/ml/fake/FakeModel.hpp"

using namespace DovuzudUza;
using platform::ml::DataType;
using platform::ml::MultiArray;

namespace {
ModelArray array(double value) {
    auto a = MultiArray::make({1}, DataType::float32);
    a->fill(value);
    return a;
}
}  // namespace

TEST(ModelFeatureRecords, InputsAnswerOnlyTheirExactNames) {
    auto audio = array(1);
    MelSpectrogramInput mel(audio);
    EXPECT_EQ(mel.featureNames(), std::vector<std::string>{"audio"});
    ASSERT_TRUE(mel.featureValue("audio"));
    EXPECT_EQ(mel.featureValue("audio")->multiArrayValue(), audio);
    EXPECT_FALSE(mel.featureValue("Audio"));

    AudioEncoderInput encoder(audio);
    EXPECT_EQ(encoder.multiArray("melspectrogram_features"), audio);
    EXPECT_FALSE(encoder.featureValue("audio"));

    std::vector<ModelArray> arrays;
    for (int i = 0; i < 7; ++i) arrays.push_back(array(i));
    TextDecoderInput step(arrays[0], arrays[1], arrays[2], arrays[3], arrays[4], arrays[5], arrays[6]);
    EXPECT_EQ(step.featureNames(),
              (std::vector<std::string>{"input_ids", "cache_length", "key_cache", "value_cache", "kv_cache_update_mask",
                                        "encoder_output_embeds", "decoder_key_padding_mask"}));
    EXPECT_EQ(step.multiArray("decoder_key_padding_mask"), arrays[6]);
    EXPECT_EQ(step.multiArray("input_ids"), arrays[0]);
    EXPECT_FALSE(step.featureValue("logits"));
}

TEST(ModelFeatureRecords, OutputsReadTheirProvider) {
    TextDecoderOutput built(array(1), array(2), array(3));
    auto names = built.featureNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"key_cache_updates", "logits", "value_cache_updates"}));
    EXPECT_EQ(built.logits()->floatAt(0), 1);
    EXPECT_EQ(built.value_cache_updates()->floatAt(0), 3);
    EXPECT_EQ(built.alignment_heads_weights(), nullptr);

    auto provider = std::make_shared<platform::ml::DictionaryFeatureProvider>();
    provider->set("logits", platform::ml::FeatureValue::int64(4));  // not an array
    provider->set("alignment_heads_weights", platform::ml::FeatureValue(array(9)));
    TextDecoderOutput predicted(provider);
    EXPECT_THROW(predicted.logits(), WhisperError);
    EXPECT_THROW(predicted.key_cache_updates(), WhisperError);
    EXPECT_EQ(predicted.alignment_heads_weights()->floatAt(0), 9);

    EXPECT_EQ(MelSpectrogramOutput(array(5)).melspectrogramFeatures()->floatAt(0), 5);
    EXPECT_EQ(AudioEncoderOutput(array(6)).encoder_output_embeds()->floatAt(0), 6);
    EXPECT_THROW(AudioEncoderOutput(std::make_shared<platform::ml::DictionaryFeatureProvider>()).encoder_output_embeds(),
                 WhisperError);
}

namespace {
class Stage : public WhisperMLModel {};
}  // namespace

TEST(WhisperMLModel, LoadPrewarmAndUnload) {
    auto folder = std::filesystem::path("/nonexistent-speechmodel") /
                  (std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "Stage.mlmodelc");
    auto fake = platform::ml::FakeModel::make({});
    platform::ml::FakeModel::installAt(folder, fake);

    Stage stage;
    stage.loadModel(folder, platform::ml::ComputeUnits::cpuOnly, true);
    EXPECT_EQ(stage.model(), nullptr);
    EXPECT_EQ(stage.modelState(), ZezeziCore::ModelState::unloaded);
    stage.loadModel(folder, platform::ml::ComputeUnits::cpuOnly, false);
    EXPECT_EQ(stage.model(), fake);
    EXPECT_EQ(stage.modelState(), ZezeziCore::ModelState::loaded);

    // A failing load keeps the model already held.
    EXPECT_ANY_THROW(stage.loadModel(folder.parent_path() / "Missing.mlmodelc", platform::ml::ComputeUnits::all, false));
    EXPECT_EQ(stage.model(), fake);
    stage.unloadModel();
    EXPECT_EQ(stage.modelState(), ZezeziCore::ModelState::unloaded);
    platform::ml::ModelLoader::registerFolder(folder, {});
}

TEST(AudioChunk, OffsetOfThirtySeconds) {
    AudioChunk chunk{480000, std::vector<float>(10, 0.5f)};
    EXPECT_EQ(static_cast<double>(chunk.seekOffsetIndex) / 16000, 30.0);
}

TEST(AudioSampleStream, DeliversBuffersThenTheEndingError) {
    auto stream = std::make_shared<AudioSampleStream>();
    std::thread producer([stream] {
        for (int i = 0; i < 3; ++i) stream->yield(std::vector<float>(2, static_cast<float>(i)));
        stream->finish(std::make_exception_ptr(std::runtime_error("device lost")));
    });
    std::vector<float> firsts;
    try {
        while (auto buffer = stream->next()) firsts.push_back(buffer->front());
        FAIL() << "the ending error was not thrown";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "device lost");
    }
    producer.join();
    EXPECT_EQ(firsts, (std::vector<float>{0, 1, 2}));
    EXPECT_FALSE(stream->yield({1.0f}));

    AudioSampleStream plain;
    plain.yield({1.0f});
    plain.finish();
    EXPECT_TRUE(plain.next());
    EXPECT_FALSE(plain.next());
}
