#include <gtest/gtest.h>

#include <mutex>

#include "AudioTestSupport.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "DovuzudUza/Core/AudioEncoder.hpp"
#include "DovuzudUza/Core/FeatureExtractor.hpp"
#include "platform/concurrency/Task.hpp"
#include "platform/log/SystemLog.hpp"
#include "platform/ml/fake/FakeModel.hpp"

using namespace DovuzudUza;
using audio_test::whisperError;
using platform::ml::DataType;
using platform::ml::DictionaryFeatureProvider;
using platform::ml::FakeModel;
using platform::ml::FeatureDescription;
using platform::ml::ModelDescription;
using platform::ml::MultiArray;

namespace {

// Collects signpost begin and end entries of one category.
class SignpostCapture {
public:
    explicit SignpostCapture(std::string category) : category_(std::move(category)) {
        previous_ = platform::SystemLog::minimumLevel();
        platform::SystemLog::setMinimumLevel(platform::LogLevel::debug);
        platform::SystemLog::setSink([this](platform::LogLevel, const std::string&, const std::string& category,
                                            const std::string& message) {
            if (category != category_) return;
            std::lock_guard lock(mutex_);
            if (message.rfind("begin ", 0) == 0) ++begins_;
            if (message.rfind("end ", 0) == 0) ++ends_;
        });
    }
    ~SignpostCapture() {
        platform::SystemLog::setSink(nullptr);
        platform::SystemLog::setMinimumLevel(previous_);
    }
    int begins() const {
        std::lock_guard lock(mutex_);
        return begins_;
    }
    int ends() const {
        std::lock_guard lock(mutex_);
        return ends_;
    }

private:
    std::string category_;
    platform::LogLevel previous_;
    mutable std::mutex mutex_;
    int begins_ = 0, ends_ = 0;
};

ModelDescription melDescription(int64_t window = 480000, int64_t mels = 80) {
    ModelDescription d;
    d.addInput(FeatureDescription::multiArray("audio", {window}, DataType::float32));
    d.addOutput(FeatureDescription::multiArray("melspectrogram_features", {1, mels, 1, 3000}, DataType::float16));
    return d;
}

ModelDescription encoderDescription(int64_t width = 384, int64_t positions = 1500) {
    ModelDescription d;
    d.addInput(FeatureDescription::multiArray("melspectrogram_features", {1, 80, 1, 3000}, DataType::float16));
    d.addOutput(FeatureDescription::multiArray("encoder_output_embeds", {1, width, 1, positions}, DataType::float16));
    return d;
}

}  // namespace

TEST(FeatureExtractor, SizesComeFromTheModelDescription) {
    FeatureExtractor stage;
    EXPECT_FALSE(stage.melCount());
    EXPECT_FALSE(stage.windowSamples());
    stage.setModel(FakeModel::make(melDescription(480000, 128)));
    EXPECT_EQ(stage.melCount(), 128);
    EXPECT_EQ(stage.windowSamples(), 480000);

    ModelDescription odd = melDescription();
    odd.inputDescriptionsByName["audio"].type = platform::ml::FeatureType::double_;
    stage.setModel(FakeModel::make(odd));
    EXPECT_FALSE(stage.windowSamples());
    odd.inputDescriptionsByName.clear();
    stage.setModel(FakeModel::make(odd));
    EXPECT_FALSE(stage.windowSamples());
}

TEST(FeatureExtractor, RunsTheModelOnTheWindow) {
    FeatureExtractor stage;
    auto window = MultiArray::make({16}, DataType::float32);
    EXPECT_EQ(whisperError([&] { stage.logMelSpectrogram(nullptr); }),
              WhisperError::audioProcessingFailed("FeatureExtractor input must be MLMultiArray"));
    EXPECT_EQ(whisperError([&] { stage.logMelSpectrogram(window); }), WhisperError::modelsUnavailable("Models are unavailable"));

    auto produced = MultiArray::make({1, 4, 1, 3}, DataType::float16);
    auto model = FakeModel::make(melDescription(16, 4), [&](const platform::ml::FeatureProvider&) {
        DictionaryFeatureProvider out;
        out.set("melspectrogram_features", produced);
        return out;
    });
    stage.setModel(model);
    SignpostCapture posts("FeatureExtractor");
    EXPECT_EQ(stage.logMelSpectrogram(window), produced);
    EXPECT_EQ(model->recordedInputs().at(0).multiArray("audio"), window);
    EXPECT_EQ(posts.begins(), 1);
    EXPECT_EQ(posts.ends(), 1);

    // Without the feature in the output there is no spectrogram.
    model->setCallback([](const platform::ml::FeatureProvider&) { return DictionaryFeatureProvider{}; });
    EXPECT_EQ(stage.logMelSpectrogram(window), nullptr);
}

TEST(FeatureExtractor, CancellationAndFailuresKeepTheIntervalsBalanced) {
    FeatureExtractor stage;
    auto model = FakeModel::make(melDescription(16), [](const platform::ml::FeatureProvider&) -> DictionaryFeatureProvider {
        throw std::runtime_error("prediction failed");
    });
    stage.setModel(model);
    auto window = MultiArray::make({16}, DataType::float32);
    SignpostCapture posts("FeatureExtractor");
    std::stop_source cancelled;
    cancelled.request_stop();
    EXPECT_THROW(stage.logMelSpectrogram(window, cancelled.get_token()), platform::CancellationError);
    EXPECT_EQ(posts.begins(), 0);
    EXPECT_EQ(model->predictionCount(), 0);
    try {
        stage.logMelSpectrogram(window);
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "prediction failed");
    }
    EXPECT_EQ(posts.begins(), 1);
    EXPECT_EQ(posts.ends(), 1);
    EXPECT_TRUE(stage.isModelLoaded());
}

TEST(AudioEncoder, SizesAndEncoding) {
    AudioEncoder stage;
    EXPECT_FALSE(stage.embedSize());
    EXPECT_FALSE(stage.sequenceLength());
    auto mel = MultiArray::make({1, 80, 1, 3000}, DataType::float16);
    EXPECT_EQ(whisperError([&] { stage.encodeFeatures(nullptr); }),
              WhisperError::audioProcessingFailed("AudioEncoder input must be MLMultiArray"));
    EXPECT_EQ(whisperError([&] { stage.encodeFeatures(mel); }), WhisperError::modelsUnavailable("Models are unavailable"));

    auto model = FakeModel::make(encoderDescription(1280, 1500));
    stage.setModel(model);
    EXPECT_EQ(stage.embedSize(), 1280);
    EXPECT_EQ(stage.sequenceLength(), 1500);
    SignpostCapture posts("AudioEncoding");
    auto embeds = stage.encodeFeatures(mel);
    ASSERT_TRUE(embeds);
    EXPECT_EQ(embeds->shape(), (std::vector<int64_t>{1, 1280, 1, 1500}));
    EXPECT_EQ(model->recordedInputs().at(0).multiArray("melspectrogram_features"), mel);

    std::stop_source cancelled;
    cancelled.request_stop();
    EXPECT_THROW(stage.encodeFeatures(mel, cancelled.get_token()), platform::CancellationError);
    model->setCallback([](const platform::ml::FeatureProvider&) -> DictionaryFeatureProvider { throw std::runtime_error("x"); });
    EXPECT_THROW(stage.encodeFeatures(mel), std::runtime_error);
    EXPECT_EQ(posts.begins(), 2);
    EXPECT_EQ(posts.ends(), 2);
}
