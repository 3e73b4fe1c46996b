#include "DovuzudUza/Core/AudioEncoder.hpp"

#include "DovuzudUza/Utilities/EngineLogging.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "DovuzudUza/Core/ModelFeatureRecords.hpp"
#include "ZezeziCore/ModelUtilities.hpp"
#include "platform/concurrency/Task.hpp"

namespace DovuzudUza {

const platform::Signposter& AudioEncoder::signposter() { return EngineLogging::AudioEncoding::signposter(); }

std::optional<int64_t> AudioEncoder::embedSize() const {
    return ZezeziCore::ModelUtilities::getModelOutputDimension(model().get(), "encoder_output_embeds", 1);
}

std::optional<int64_t> AudioEncoder::sequenceLength() const {
    return ZezeziCore::ModelUtilities::getModelOutputDimension(model().get(), "encoder_output_embeds", 3);
}

AudioEncoderOutputType AudioEncoder::encodeFeatures(const FeatureExtractorOutputType& features, std::stop_token stop) {
    if (!features) throw WhisperError::audioProcessingFailed("AudioEncoder input must be MLMultiArray");
    auto snapshot = model();
    if (!snapshot) throw WhisperError::modelsUnavailable("Models are unavailable");
    platform::Task::checkCancellation(stop);

    // The interval ends on every way out, a failed prediction included.
    platform::ScopedSignpost interval(signposter(), "EncodeAudio");
    return snapshot->predict(AudioEncoderInput(features)).multiArray("encoder_output_embeds");
}

}  // namespace DovuzudUza
