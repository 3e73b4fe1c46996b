#pragma once

#include <memory>
#include <optional>

#include "DovuzudUza/Core/DecodingResult.hpp"
#include "DovuzudUza/Core/StageTensorTypes.hpp"

namespace DovuzudUza {

// One decoder step's inputs: the seven model arrays, shared by reference.
struct TextDecoderMLMultiArrayInputType : TextDecoderInputType {
    using Array = std::shared_ptr<platform::ml::MultiArray>;

    TextDecoderMLMultiArrayInputType(Array inputIds, Array cacheLength, Array keyCache, Array valueCache,
                                     Array kvCacheUpdateMask, Array encoderOutputEmbeds, Array decoderKeyPaddingMask)
        : inputIds(std::move(inputIds)),
          cacheLength(std::move(cacheLength)),
          keyCache(std::move(keyCache)),
          valueCache(std::move(valueCache)),
          kvCacheUpdateMask(std::move(kvCacheUpdateMask)),
          encoderOutputEmbeds(std::move(encoderOutputEmbeds)),
          decoderKeyPaddingMask(std::move(decoderKeyPaddingMask)) {}

    Array inputIds;
    Array cacheLength;
    Array keyCache;
    Array valueCache;
    Array kvCacheUpdateMask;
    Array encoderOutputEmbeds;
    Array decoderKeyPaddingMask;
};

// One decoder step's outputs: the logits and this step's cache slices (key,
// value and, when the model gives them, alignment weights). Either may be
// absent.
struct TextDecoderMLMultiArrayOutputType : TextDecoderOutputType {
    TextDecoderMLMultiArrayOutputType(std::shared_ptr<platform::ml::MultiArray> logits,
                                      std::optional<DecodingCache> cache)
        : logits(std::move(logits)), cache(std::move(cache)) {}

    std::shared_ptr<platform::ml::MultiArray> logits;
    std::optional<DecodingCache> cache;
};

}  // namespace DovuzudUza
