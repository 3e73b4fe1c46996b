#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <vector>

#include "DovuzudUza/Core/DecodingInputs.hpp"
#include "DovuzudUza/Core/DecodingOptions.hpp"
#include "DovuzudUza/Core/DecodingResult.hpp"
#include "DovuzudUza/Core/LogitsFiltering.hpp"
#include "DovuzudUza/Core/StageTensorTypes.hpp"
#include "DovuzudUza/Core/TokenSampling.hpp"
#include "DovuzudUza/Core/TranscriptionResult.hpp"
#include "DovuzudUza/Core/WhisperTokenizer.hpp"
#include "platform/ml/Half.hpp"

namespace DovuzudUza {

// The text decoder. Preparing and prefilling the decoder inputs and the two
// cache copies are shared by every implementation (the defaults below).
class TextDecoding {
public:
    // May run on another thread, late; returning false asks decoding to stop early.
    using ProgressCallback = std::function<std::optional<bool>(const TranscriptionProgress&)>;

    virtual ~TextDecoding() = default;

    virtual std::shared_ptr<WhisperTokenizer> tokenizer() const = 0;
    virtual void setTokenizer(std::shared_ptr<WhisperTokenizer> tokenizer) = 0;
    virtual bool isModelMultilingual() const = 0;
    virtual void setIsModelMultilingual(bool multilingual) = 0;
    virtual bool supportsWordTimestamps() const = 0;
    virtual std::optional<int64_t> logitsSize() const = 0;
    virtual std::optional<std::vector<std::shared_ptr<LogitsFiltering>>> logitsFilters() const = 0;
    virtual void setLogitsFilters(std::optional<std::vector<std::shared_ptr<LogitsFiltering>>> filters) = 0;
    virtual std::optional<int64_t> kvCacheEmbedDim() const = 0;
    virtual std::optional<int64_t> kvCacheMaxSequenceLength() const = 0;
    virtual std::optional<int64_t> windowSize() const = 0;
    virtual std::optional<int64_t> embedSize() const = 0;

    // The following throw on failure.

    // One model step; null when the step gives nothing.
    virtual std::shared_ptr<TextDecoderOutputType> predictLogits(const TextDecoderInputType& input,
                                                                 std::stop_token stop = {}) = 0;

    // New inputs for a cache of kvCacheEmbedDim channels by
    // kvCacheMaxSequenceLength positions over windowSize encoder frames:
    // zero caches and alignment weights, position 0 open and next to write,
    // every later one hidden (-10000). The prompt is only stored. A missing
    // dimension is a prepareDecoderInputsFailed error; so is a cache shorter
    // than the token context (224), which windows rewind over.
    virtual std::shared_ptr<DecodingInputsType> prepareDecoderInputs(const std::vector<int64_t>& withPrompt);

    // Stores the prompt the options ask for ([start of previous, previous
    // text...], start of transcript, language and task on a multilingual
    // model, timestamp mode, prefix) and re-marks position 0 of both masks;
    // nothing else changes. Without options the prompt is the start token.
    virtual std::shared_ptr<DecodingInputsType> prefillDecoderInputs(std::shared_ptr<DecodingInputsType> inputs,
                                                                     const std::optional<DecodingOptions>& withOptions,
                                                                     std::stop_token stop = {});

    virtual DecodingResult decodeText(const AudioEncoderOutputType& from, std::shared_ptr<DecodingInputsType> using_,
                                      TokenSampling& sampler, const DecodingOptions& options,
                                      ProgressCallback callback = nullptr, std::stop_token stop = {}) = 0;
    virtual DecodingResult detectLanguage(const AudioEncoderOutputType& from, std::shared_ptr<DecodingInputsType> using_,
                                          TokenSampling& sampler, const DecodingOptions& options,
                                          platform::ml::Half temperature, std::stop_token stop = {}) = 0;

    // Copies one step's key and value slices ([1, E, 1, L] float16) into the
    // caches ([1, E, 1, S] float16) at positions insertAtIndex ..< +L, every
    // array addressed through its own strides. A slice or cache of another
    // kind, slices of different shapes, fewer slice channels than cache
    // channels, or positions outside the caches are refused with
    // WhisperError (decodingFailed) before anything is written.
    static void updateKVCache(platform::ml::MultiArray& keyTensor, const platform::ml::MultiArray& keySlice,
                              platform::ml::MultiArray& valueTensor, const platform::ml::MultiArray& valueSlice,
                              int64_t insertAtIndex);

    // Copies one step's alignment row ([1, W] float16) into row
    // insertAtIndex + 1 of the matrix ([S, W] float16). Refused like the
    // cache copy when the row or the frames do not fit.
    static void updateAlignmentWeights(platform::ml::MultiArray& alignmentTensor,
                                       const platform::ml::MultiArray& alignmentSlice, int64_t insertAtIndex);
};

}  // namespace DovuzudUza
