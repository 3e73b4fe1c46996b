#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/ml/MultiArray.hpp"

namespace DovuzudUza {

// The decoder's input tensors as the text decoding interface passes them.
class DecodingInputsType {
public:
    using Array = std::shared_ptr<platform::ml::MultiArray>;

    virtual ~DecodingInputsType() = default;

    virtual const std::vector<int64_t>& initialPrompt() const = 0;
    virtual void setInitialPrompt(std::vector<int64_t> prompt) = 0;
    virtual Array inputIds() const = 0;
    virtual void setInputIds(Array array) = 0;
    virtual Array cacheLength() const = 0;
    virtual void setCacheLength(Array array) = 0;
    virtual void reset(int64_t maxTokenContext) = 0;
};

// The working tensors of one decoding task, rewound for every window. The
// arrays are shared by reference: a write through any holder is seen by all.
// Shapes: inputIds and cacheLength int32 [1]; keyCache and valueCache
// float16 [1, embedDim, 1, maxSequence]; alignmentWeights float16
// [maxSequence, windowSize]; kvCacheUpdateMask int32 [1, maxSequence];
// decoderKeyPaddingMask float16 [1, maxSequence].
class DecodingInputs : public DecodingInputsType {
public:
    DecodingInputs(std::vector<int64_t> initialPrompt, Array inputIds, Array cacheLength, Array keyCache,
                   Array valueCache, Array alignmentWeights, Array kvCacheUpdateMask, Array decoderKeyPaddingMask);

    const std::vector<int64_t>& initialPrompt() const override { return initialPrompt_; }
    void setInitialPrompt(std::vector<int64_t> prompt) override { initialPrompt_ = std::move(prompt); }
    Array inputIds() const override { return inputIds_; }
    void setInputIds(Array array) override { inputIds_ = std::move(array); }
    Array cacheLength() const override { return cacheLength_; }
    void setCacheLength(Array array) override { cacheLength_ = std::move(array); }
    Array keyCache() const { return keyCache_; }
    void setKeyCache(Array array) { keyCache_ = std::move(array); }
    Array valueCache() const { return valueCache_; }
    void setValueCache(Array array) { valueCache_ = std::move(array); }
    Array alignmentWeights() const { return alignmentWeights_; }
    void setAlignmentWeights(Array array) { alignmentWeights_ = std::move(array); }
    Array kvCacheUpdateMask() const { return kvCacheUpdateMask_; }
    void setKvCacheUpdateMask(Array array) { kvCacheUpdateMask_ = std::move(array); }
    Array decoderKeyPaddingMask() const { return decoderKeyPaddingMask_; }
    void setDecoderKeyPaddingMask(Array array) { decoderKeyPaddingMask_ = std::move(array); }

    // Rewinds for a new window: cache length 0, position 0 open and next to
    // write, positions 1..maxTokenContext-1 hidden (-10000) and not written.
    // A context below 1, or longer than either mask, or a missing tensor, is
    // refused with std::out_of_range before anything is written.
    void reset(int64_t maxTokenContext) override;

private:
    std::vector<int64_t> initialPrompt_;
    Array inputIds_;
    Array cacheLength_;
    Array keyCache_;
    Array valueCache_;
    Array alignmentWeights_;
    Array kvCacheUpdateMask_;
    Array decoderKeyPaddingMask_;
};

}  // namespace DovuzudUza
