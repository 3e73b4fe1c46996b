#include "DovuzudUza/Core/DecodingInputs.hpp"

#include <stdexcept>
#include <string>

namespace DovuzudUza {

DecodingInputs::DecodingInputs(std::vector<int64_t> initialPrompt, Array inputIds, Array cacheLength, Array keyCache,
                               Array valueCache, Array alignmentWeights, Array kvCacheUpdateMask,
                               Array decoderKeyPaddingMask)
    : initialPrompt_(std::move(initialPrompt)),
      inputIds_(std::move(inputIds)),
      cacheLength_(std::move(cacheLength)),
      keyCache_(std::move(keyCache)),
      valueCache_(std::move(valueCache)),
      alignmentWeights_(std::move(alignmentWeights)),
      kvCacheUpdateMask_(std::move(kvCacheUpdateMask)),
      decoderKeyPaddingMask_(std::move(decoderKeyPaddingMask)) {}

void DecodingInputs::reset(int64_t maxTokenContext) {
    if (maxTokenContext < 1)
        throw std::out_of_range("maxTokenContext must be at least 1, got " + std::to_string(maxTokenContext));
    if (!cacheLength_ || !kvCacheUpdateMask_ || !decoderKeyPaddingMask_ || cacheLength_->count() < 1)
        throw std::out_of_range("decoding inputs lack the cache length or mask tensors");
    int64_t room = std::min(kvCacheUpdateMask_->count(), decoderKeyPaddingMask_->count());
    if (maxTokenContext > room)
        throw std::out_of_range("maxTokenContext " + std::to_string(maxTokenContext) + " exceeds the cache of " +
                                std::to_string(room) + " positions");

    cacheLength_->setFloatAt(0, 0);
    decoderKeyPaddingMask_->setFloatAt(0, 0);
    kvCacheUpdateMask_->setFloatAt(0, 1);
    for (int64_t i = 1; i < maxTokenContext; ++i) {
        decoderKeyPaddingMask_->setFloatAt(i, -10000);
        kvCacheUpdateMask_->setFloatAt(i, 0);
    }
}

}  // namespace DovuzudUza
