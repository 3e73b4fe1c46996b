#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>

#include "DovuzudUza/Core/StageTensorTypes.hpp"

namespace DovuzudUza {

// The log-mel spectrogram stage.
class FeatureExtracting {
public:
    virtual ~FeatureExtracting() = default;

    virtual std::optional<int64_t> melCount() const = 0;
    virtual std::optional<int64_t> windowSamples() const = 0;
    // Null when the model gives nothing; throws on failure.
    virtual FeatureExtractorOutputType logMelSpectrogram(const AudioProcessorOutputType& fromAudio,
                                                         std::stop_token stop = {}) = 0;
};

}  // namespace DovuzudUza
