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

namespace DovuzudUza {

// The text decoder. Its class-level `updateKVCache` is a static member of
// the implementing class.
class TextDecoding {
public:
    // May run on another thread; returning false asks decoding to stop early.
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
    virtual std::shared_ptr<TextDecoderOutputType> predictLogits(const TextDecoderInputType& input,
                                                                 std::stop_token stop = {}) = 0;
    virtual std::shared_ptr<DecodingInputsType> prepareDecoderInputs(const std::vector<int64_t>& withPrompt) = 0;
    virtual std::shared_ptr<DecodingInputsType> prefillDecoderInputs(std::shared_ptr<DecodingInputsType> inputs,
                                                                     const std::optional<DecodingOptions>& withOptions,
                                                                     std::stop_token stop = {}) = 0;
    virtual DecodingResult decodeText(const AudioEncoderOutputType& from, std::shared_ptr<DecodingInputsType> using_,
                                      TokenSampling& sampler, const DecodingOptions& options,
                                      ProgressCallback callback = nullptr, std::stop_token stop = {}) = 0;
    // `temperature` is a 16-bit float in the model's terms; carried as float.
    virtual DecodingResult detectLanguage(const AudioEncoderOutputType& from, std::shared_ptr<DecodingInputsType> using_,
                                          TokenSampling& sampler, const DecodingOptions& options, float temperature,
                                          std::stop_token stop = {}) = 0;
};

}  // namespace DovuzudUza
