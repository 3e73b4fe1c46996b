#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>

#include "DovuzudUza/Core/AudioEncoding.hpp"
#include "DovuzudUza/Core/WhisperMLModel.hpp"
#include "platform/log/Signposter.hpp"

namespace DovuzudUza {

// The audio encoder stage: runs the "AudioEncoder" model on one spectrogram.
class AudioEncoder : public AudioEncoding, public WhisperMLModel {
public:
    AudioEncoder() = default;

    // Embedding width ("encoder_output_embeds", dimension 1).
    std::optional<int64_t> embedSize() const override;
    // Encoder positions per window ("encoder_output_embeds", dimension 3).
    std::optional<int64_t> sequenceLength() const;
    // Null when the model gives no "encoder_output_embeds" array.
    AudioEncoderOutputType encodeFeatures(const FeatureExtractorOutputType& features, std::stop_token stop = {}) override;

    static const platform::Signposter& signposter();
};

}  // namespace DovuzudUza
