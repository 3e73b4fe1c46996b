#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <utility>
#include <vector>

#include "DovuzudUza/Core/LogitsFilters.hpp"
#include "DovuzudUza/Core/TextDecoderMLMultiArrayTypes.hpp"
#include "DovuzudUza/Core/TextDecoding.hpp"
#include "DovuzudUza/Core/WhisperMLModel.hpp"
#include "ZezeziCore/EarlyStopActor.hpp"

namespace DovuzudUza {

// The text decoder stage: owns the "TextDecoder" model, reads its sizes
// from the model's description, runs one step per token, decodes a window
// token by token (decodeText) and detects the spoken language from one step.
// One decoder serves one decode or detection per set of decoder inputs at a
// time; several may run at once on separate inputs.
class TextDecoder : public TextDecoding, public WhisperMLModel {
public:
    // Runs a progress report off the decoding loop. The default hands it to
    // the shared pool, so the loop never waits for the caller's callback.
    using ProgressExecutor = std::function<void(std::function<void()>)>;

    TextDecoder();

    std::shared_ptr<WhisperTokenizer> tokenizer() const override;
    void setTokenizer(std::shared_ptr<WhisperTokenizer> tokenizer) override;
    bool isModelMultilingual() const override;
    void setIsModelMultilingual(bool multilingual) override;
    std::optional<std::vector<std::shared_ptr<LogitsFiltering>>> logitsFilters() const override;
    void setLogitsFilters(std::optional<std::vector<std::shared_ptr<LogitsFiltering>>> filters) override;

    // Output "alignment_heads_weights" has a dimension 0.
    bool supportsWordTimestamps() const override;
    // Output "logits", dimension 2.
    std::optional<int64_t> logitsSize() const override;
    // Input "key_cache", dimensions 1 and 3.
    std::optional<int64_t> kvCacheEmbedDim() const override;
    std::optional<int64_t> kvCacheMaxSequenceLength() const override;
    // Input "encoder_output_embeds", dimensions 3 and 1.
    std::optional<int64_t> windowSize() const override;
    std::optional<int64_t> embedSize() const override;

    // Also drops the cached language filter.
    void unloadModel() override;

    // One step on a TextDecoderMLMultiArrayInputType (any other kind is a
    // transcriptionFailed error). Without a model the output has neither
    // logits nor cache. Model errors and cancellation pass through.
    std::shared_ptr<TextDecoderOutputType> predictLogits(const TextDecoderInputType& input,
                                                         std::stop_token stop = {}) override;
    // The same step on seven arrays; nothing at all without a model.
    std::optional<std::pair<std::shared_ptr<platform::ml::MultiArray>, std::optional<DecodingCache>>> predictLogits(
        std::shared_ptr<platform::ml::MultiArray> inputIds, std::shared_ptr<platform::ml::MultiArray> cacheLength,
        std::shared_ptr<platform::ml::MultiArray> keyCache, std::shared_ptr<platform::ml::MultiArray> valueCache,
        std::shared_ptr<platform::ml::MultiArray> kvCacheUpdateMask,
        std::shared_ptr<platform::ml::MultiArray> encoderOutputEmbeds,
        std::shared_ptr<platform::ml::MultiArray> decoderKeyPaddingMask, std::stop_token stop = {});

    // One window, token by token: the prompt is fed one token per step,
    // then the sampler picks one token per step until the end token, the
    // token limit, a too unlikely first token or an early stop. The caches
    // and masks of the inputs are written in place.
    DecodingResult decodeText(const AudioEncoderOutputType& from, std::shared_ptr<DecodingInputsType> using_,
                              TokenSampling& sampler, const DecodingOptions& options,
                              ProgressCallback callback = nullptr, std::stop_token stop = {}) override;

    // One step at the start-of-transcript token with every non-language
    // token forbidden; the caches are not written. An unsupported code
    // becomes "en".
    DecodingResult detectLanguage(const AudioEncoderOutputType& from, std::shared_ptr<DecodingInputsType> using_,
                                  TokenSampling& sampler, const DecodingOptions& options,
                                  platform::ml::Half temperature, std::stop_token stop = {}) override;

    // The filters of one decode, in order: the configured ones, blank
    // suppression, token suppression, timestamp rules (each when the
    // options ask for it).
    virtual std::vector<std::shared_ptr<LogitsFiltering>> createLogitsFilters(const DecodingOptions& options,
                                                                              int64_t initialPromptIndex,
                                                                              const WhisperTokenizer& tokenizer);

    // Debug dump of the first four cache positions.
    virtual void debugCaches(const DecodingInputs& decoderInputs, int64_t tokenIndex);

    const std::shared_ptr<ZezeziCore::EarlyStopActor>& earlyStopActor() const { return earlyStopActor_; }
    void setProgressExecutor(ProgressExecutor executor);

private:
    std::shared_ptr<LanguageLogitsFilter> languageFilter(const WhisperTokenizer& tokenizer, int64_t logitsSize);
    ProgressExecutor progressExecutor() const;

    mutable std::mutex mutex_;
    std::shared_ptr<WhisperTokenizer> tokenizer_;
    bool isModelMultilingual_ = false;
    std::optional<std::vector<std::shared_ptr<LogitsFiltering>>> logitsFilters_;
    std::shared_ptr<ZezeziCore::EarlyStopActor> earlyStopActor_;
    std::shared_ptr<LanguageLogitsFilter> languageLogitsFilter_;
    ProgressExecutor progressExecutor_;
};

}  // namespace DovuzudUza
