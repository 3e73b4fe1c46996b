#include "DovuzudUza/Core/FeatureExtractor.hpp"

#include "DovuzudUza/Utilities/EngineLogging.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "DovuzudUza/Core/ModelFeatureRecords.hpp"
#include "ZezeziCore/ModelUtilities.hpp"
#include "platform/concurrency/Task.hpp"

namespace DovuzudUza {

const platform::Signposter& FeatureExtractor::signposter() { return EngineLogging::FeatureExtractor::signposter(); }

std::optional<int64_t> FeatureExtractor::melCount() const {
    return ZezeziCore::ModelUtilities::getModelOutputDimension(model().get(), "melspectrogram_features", 1);
}

std::optional<int64_t> FeatureExtractor::windowSamples() const {
    return ZezeziCore::ModelUtilities::getModelInputDimension(model().get(), "audio", 0);
}

FeatureExtractorOutputType FeatureExtractor::logMelSpectrogram(const AudioProcessorOutputType& fromAudio,
                                                               std::stop_token stop) {
    if (!fromAudio) throw WhisperError::audioProcessingFailed("FeatureExtractor input must be MLMultiArray");
    auto snapshot = model();
    if (!snapshot) throw WhisperError::modelsUnavailable("Models are unavailable");
    platform::Task::checkCancellation(stop);

    // The interval ends on every way out, a failed prediction included.
    platform::ScopedSignpost interval(signposter(), "ExtractAudioFeatures");
    return snapshot->predict(MelSpectrogramInput(fromAudio)).multiArray("melspectrogram_features");
}

}  // namespace DovuzudUza
