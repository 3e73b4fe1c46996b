#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DovuzudUza/Core/StageTensorTypes.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "platform/ml/FeatureProvider.hpp"

namespace DovuzudUza {

using ModelArray = std::shared_ptr<platform::ml::MultiArray>;

// Input of the mel-spectrogram model: "audio" (float32 samples).
class MelSpectrogramInput : public platform::ml::FeatureProvider {
public:
    explicit MelSpectrogramInput(ModelArray audio) : audio(std::move(audio)) {}
    std::vector<std::string> featureNames() const override;
    std::optional<platform::ml::FeatureValue> featureValue(const std::string& name) const override;

    ModelArray audio;
};

// Output of the mel-spectrogram model: "melspectrogram_features" (float16).
class MelSpectrogramOutput : public platform::ml::FeatureProvider {
public:
    explicit MelSpectrogramOutput(ModelArray melspectrogram_features);
    explicit MelSpectrogramOutput(std::shared_ptr<const platform::ml::FeatureProvider> features)
        : provider(std::move(features)) {}
    std::vector<std::string> featureNames() const override { return provider->featureNames(); }
    std::optional<platform::ml::FeatureValue> featureValue(const std::string& name) const override {
        return provider->featureValue(name);
    }
    // Throws WhisperError (decodingFailed) when absent.
    ModelArray melspectrogramFeatures() const;

    std::shared_ptr<const platform::ml::FeatureProvider> provider;
};

// Input of the audio encoder: "melspectrogram_features".
class AudioEncoderInput : public platform::ml::FeatureProvider {
public:
    explicit AudioEncoderInput(ModelArray melspectrogram_features)
        : melspectrogram_features(std::move(melspectrogram_features)) {}
    std::vector<std::string> featureNames() const override;
    std::optional<platform::ml::FeatureValue> featureValue(const std::string& name) const override;

    ModelArray melspectrogram_features;
};

// Output of the audio encoder: "encoder_output_embeds" (float16).
class AudioEncoderOutput : public platform::ml::FeatureProvider {
public:
    explicit AudioEncoderOutput(ModelArray encoder_output_embeds);
    explicit AudioEncoderOutput(std::shared_ptr<const platform::ml::FeatureProvider> features)
        : provider(std::move(features)) {}
    std::vector<std::string> featureNames() const override { return provider->featureNames(); }
    std::optional<platform::ml::FeatureValue> featureValue(const std::string& name) const override {
        return provider->featureValue(name);
    }
    // Throws WhisperError (decodingFailed) when absent.
    ModelArray encoder_output_embeds() const;

    std::shared_ptr<const platform::ml::FeatureProvider> provider;
};

// Input of one text decoder step: seven named arrays.
class TextDecoderInput : public platform::ml::FeatureProvider {
public:
    TextDecoderInput(ModelArray input_ids, ModelArray cache_length, ModelArray key_cache, ModelArray value_cache,
                     ModelArray kv_cache_update_mask, ModelArray encoder_output_embeds,
                     ModelArray decoder_key_padding_mask)
        : input_ids(std::move(input_ids)),
          cache_length(std::move(cache_length)),
          key_cache(std::move(key_cache)),
          value_cache(std::move(value_cache)),
          kv_cache_update_mask(std::move(kv_cache_update_mask)),
          encoder_output_embeds(std::move(encoder_output_embeds)),
          decoder_key_padding_mask(std::move(decoder_key_padding_mask)) {}
    std::vector<std::string> featureNames() const override;
    std::optional<platform::ml::FeatureValue> featureValue(const std::string& name) const override;

    ModelArray input_ids;
    ModelArray cache_length;
    ModelArray key_cache;
    ModelArray value_cache;
    ModelArray kv_cache_update_mask;
    ModelArray encoder_output_embeds;
    ModelArray decoder_key_padding_mask;
};

// Output of one text decoder step (float16 arrays); the alignment heads'
// weights are optional.
class TextDecoderOutput : public platform::ml::FeatureProvider {
public:
    TextDecoderOutput(ModelArray logits, ModelArray key_cache_updates, ModelArray value_cache_updates);
    explicit TextDecoderOutput(std::shared_ptr<const platform::ml::FeatureProvider> features)
        : provider(std::move(features)) {}
    std::vector<std::string> featureNames() const override { return provider->featureNames(); }
    std::optional<platform::ml::FeatureValue> featureValue(const std::string& name) const override {
        return provider->featureValue(name);
    }
    // These three throw WhisperError (decodingFailed) when absent.
    ModelArray logits() const;
    ModelArray key_cache_updates() const;
    ModelArray value_cache_updates() const;
    // Null when absent.
    ModelArray alignment_heads_weights() const;

    std::shared_ptr<const platform::ml::FeatureProvider> provider;
};

}  // namespace DovuzudUza
