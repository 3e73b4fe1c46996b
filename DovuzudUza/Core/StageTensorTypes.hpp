#pragma once

#include <memory>

#include "platform/ml/MultiArray.hpp"

namespace DovuzudUza {

// What flows between the audio stages: model arrays, shared by reference.
using AudioProcessorOutputType = std::shared_ptr<platform::ml::MultiArray>;
using FeatureExtractorOutputType = std::shared_ptr<platform::ml::MultiArray>;
using AudioEncoderOutputType = std::shared_ptr<platform::ml::MultiArray>;
using TextDecoderTensorType = std::shared_ptr<platform::ml::MultiArray>;

// The text decoder's step input and output. The decoding loop derives its
// concrete kinds; a decoder handed another kind fails with the engine's error.
class TextDecoderInputType {
public:
    virtual ~TextDecoderInputType() = default;
};

class TextDecoderOutputType {
public:
    virtual ~TextDecoderOutputType() = default;
};

}  // namespace DovuzudUza
