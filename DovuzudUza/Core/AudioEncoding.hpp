#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>

#include "DovuzudUza/Core/StageTensorTypes.hpp"

namespace DovuzudUza {

// The audio encoder stage.
class AudioEncoding {
public:
    virtual ~AudioEncoding() = default;

    virtual std::optional<int64_t> embedSize() const = 0;
    // Null when the model gives nothing; throws on failure.
    virtual AudioEncoderOutputType encodeFeatures(const FeatureExtractorOutputType& features,
                                                  std::stop_token stop = {}) = 0;
};

}  // namespace DovuzudUza
