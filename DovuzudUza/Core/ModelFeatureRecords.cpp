#include "DovuzudUza/Core/ModelFeatureRecords.hpp"

#include <utility>

namespace DovuzudUza {

namespace {

using Named = std::vector<std::pair<const char*, const ModelArray*>>;

std::vector<std::string> namesOf(const Named& features) {
    std::vector<std::string> names;
    for (const auto& [name, array] : features) names.emplace_back(name);
    return names;
}

// Exact, case-sensitive match in declared order.
std::optional<platform::ml::FeatureValue> lookup(const Named& features, const std::string& name) {
    for (const auto& [featureName, array] : features)
        if (name == featureName) return platform::ml::FeatureValue(*array);
    return std::nullopt;
}

ModelArray required(const platform::ml::FeatureProvider& provider, const char* name) {
    auto array = provider.multiArray(name);
    if (!array)
        throw WhisperError(WhisperError::Kind::decodingFailed,
                           std::string("Model output has no multi-array feature named ") + name);
    return array;
}

std::shared_ptr<const platform::ml::FeatureProvider> dictionary(
    std::initializer_list<std::pair<const char*, ModelArray>> arrays) {
    auto provider = std::make_shared<platform::ml::DictionaryFeatureProvider>();
    for (const auto& [name, array] : arrays) provider->set(name, platform::ml::FeatureValue(array));
    return provider;
}

}  // namespace

std::vector<std::string> MelSpectrogramInput::featureNames() const { return {"audio"}; }

std::optional<platform::ml::FeatureValue> MelSpectrogramInput::featureValue(const std::string& name) const {
    return lookup({{"audio", &audio}}, name);
}

MelSpectrogramOutput::MelSpectrogramOutput(ModelArray features)
    : provider(dictionary({{"melspectrogram_features", std::move(features)}})) {}

ModelArray MelSpectrogramOutput::melspectrogramFeatures() const { return required(*provider, "melspectrogram_features"); }

std::vector<std::string> AudioEncoderInput::featureNames() const { return {"melspectrogram_features"}; }

std::optional<platform::ml::FeatureValue> AudioEncoderInput::featureValue(const std::string& name) const {
    return lookup({{"melspectrogram_features", &melspectrogram_features}}, name);
}

AudioEncoderOutput::AudioEncoderOutput(ModelArray embeds)
    : provider(dictionary({{"encoder_output_embeds", std::move(embeds)}})) {}

ModelArray AudioEncoderOutput::encoder_output_embeds() const { return required(*provider, "encoder_output_embeds"); }

namespace {
Named decoderInputs(const TextDecoderInput& in) {
    return {{"input_ids", &in.input_ids},
            {"cache_length", &in.cache_length},
            {"key_cache", &in.key_cache},
            {"value_cache", &in.value_cache},
            {"kv_cache_update_mask", &in.kv_cache_update_mask},
            {"encoder_output_embeds", &in.encoder_output_embeds},
            {"decoder_key_padding_mask", &in.decoder_key_padding_mask}};
}
}  // namespace

std::vector<std::string> TextDecoderInput::featureNames() const { return namesOf(decoderInputs(*this)); }

std::optional<platform::ml::FeatureValue> TextDecoderInput::featureValue(const std::string& name) const {
    return lookup(decoderInputs(*this), name);
}

TextDecoderOutput::TextDecoderOutput(ModelArray logits, ModelArray keyUpdates, ModelArray valueUpdates)
    : provider(dictionary({{"logits", std::move(logits)},
                           {"key_cache_updates", std::move(keyUpdates)},
                           {"value_cache_updates", std::move(valueUpdates)}})) {}

ModelArray TextDecoderOutput::logits() const { return required(*provider, "logits"); }
ModelArray TextDecoderOutput::key_cache_updates() const { return required(*provider, "key_cache_updates"); }
ModelArray TextDecoderOutput::value_cache_updates() const { return required(*provider, "value_cache_updates"); }
ModelArray TextDecoderOutput::alignment_heads_weights() const { return provider->multiArray("alignment_heads_weights"); }

}  // namespace DovuzudUza
