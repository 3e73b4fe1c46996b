#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>

#include "DovuzudUza/Core/FeatureExtracting.hpp"
#include "DovuzudUza/Core/WhisperMLModel.hpp"
#include "platform/log/Signposter.hpp"

namespace DovuzudUza {

// The log-mel spectrogram stage: runs the "MelSpectrogram" model on one
// fitted window. The computation is the model's; the stage only feeds it.
class FeatureExtractor : public FeatureExtracting, public WhisperMLModel {
public:
    FeatureExtractor() = default;

    // Mel bands of the model's output ("melspectrogram_features", dimension 1).
    std::optional<int64_t> melCount() const override;
    // Samples per window of the model's input ("audio", dimension 0).
    std::optional<int64_t> windowSamples() const override;
    // Null when the model gives no "melspectrogram_features" array.
    FeatureExtractorOutputType logMelSpectrogram(const AudioProcessorOutputType& fromAudio,
                                                 std::stop_token stop = {}) override;

    static const platform::Signposter& signposter();
};

}  // namespace DovuzudUza
