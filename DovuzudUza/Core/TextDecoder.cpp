#include "DovuzudUza/Core/TextDecoder.hpp"

#include <chrono>

#include "DovuzudUza/Core/Constants.hpp"
#include "DovuzudUza/Core/EngineLog.hpp"
#include "DovuzudUza/Core/ModelFeatureRecords.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "ZezeziCore/ModelUtilities.hpp"
#include "platform/concurrency/Task.hpp"
#include "platform/foundation/Date.hpp"

namespace DovuzudUza {

using platform::ml::MultiArray;
using Utilities = ZezeziCore::ModelUtilities;

namespace {

void runOnSharedPool(std::function<void()> work) { platform::Task::run(std::move(work)); }

}  // namespace

TextDecoder::TextDecoder()
    : logitsFilters_(std::vector<std::shared_ptr<LogitsFiltering>>{}),
      earlyStopActor_(std::make_shared<ZezeziCore::EarlyStopActor>()),
      progressExecutor_(runOnSharedPool) {}

std::shared_ptr<WhisperTokenizer> TextDecoder::tokenizer() const {
    std::lock_guard lock(mutex_);
    return tokenizer_;
}

void TextDecoder::setTokenizer(std::shared_ptr<WhisperTokenizer> tokenizer) {
    std::lock_guard lock(mutex_);
    tokenizer_ = std::move(tokenizer);
}

bool TextDecoder::isModelMultilingual() const {
    std::lock_guard lock(mutex_);
    return isModelMultilingual_;
}

void TextDecoder::setIsModelMultilingual(bool multilingual) {
    std::lock_guard lock(mutex_);
    isModelMultilingual_ = multilingual;
}

std::optional<std::vector<std::shared_ptr<LogitsFiltering>>> TextDecoder::logitsFilters() const {
    std::lock_guard lock(mutex_);
    return logitsFilters_;
}

void TextDecoder::setLogitsFilters(std::optional<std::vector<std::shared_ptr<LogitsFiltering>>> filters) {
    std::lock_guard lock(mutex_);
    logitsFilters_ = std::move(filters);
}

void TextDecoder::setProgressExecutor(ProgressExecutor executor) {
    std::lock_guard lock(mutex_);
    progressExecutor_ = executor ? std::move(executor) : ProgressExecutor(runOnSharedPool);
}

TextDecoder::ProgressExecutor TextDecoder::progressExecutor() const {
    std::lock_guard lock(mutex_);
    return progressExecutor_;
}

bool TextDecoder::supportsWordTimestamps() const {
    return Utilities::getModelOutputDimension(model().get(), "alignment_heads_weights", 0).has_value();
}

std::optional<int64_t> TextDecoder::logitsSize() const {
    return Utilities::getModelOutputDimension(model().get(), "logits", 2);
}

std::optional<int64_t> TextDecoder::kvCacheEmbedDim() const {
    return Utilities::getModelInputDimension(model().get(), "key_cache", 1);
}

std::optional<int64_t> TextDecoder::kvCacheMaxSequenceLength() const {
    return Utilities::getModelInputDimension(model().get(), "key_cache", 3);
}

std::optional<int64_t> TextDecoder::windowSize() const {
    return Utilities::getModelInputDimension(model().get(), "encoder_output_embeds", 3);
}

std::optional<int64_t> TextDecoder::embedSize() const {
    return Utilities::getModelInputDimension(model().get(), "encoder_output_embeds", 1);
}

void TextDecoder::unloadModel() {
    WhisperMLModel::unloadModel();
    std::lock_guard lock(mutex_);
    languageLogitsFilter_.reset();
}

std::optional<std::pair<std::shared_ptr<MultiArray>, std::optional<DecodingCache>>> TextDecoder::predictLogits(
    std::shared_ptr<MultiArray> inputIds, std::shared_ptr<MultiArray> cacheLength, std::shared_ptr<MultiArray> keyCache,
    std::shared_ptr<MultiArray> valueCache, std::shared_ptr<MultiArray> kvCacheUpdateMask,
    std::shared_ptr<MultiArray> encoderOutputEmbeds, std::shared_ptr<MultiArray> decoderKeyPaddingMask,
    std::stop_token stop) {
    // A snapshot: an unload on another thread cannot pull the model away mid-step.
    const auto snapshot = model();
    if (!snapshot) return std::nullopt;
    const TextDecoderInput input(std::move(inputIds), std::move(cacheLength), std::move(keyCache),
                                 std::move(valueCache), std::move(kvCacheUpdateMask), std::move(encoderOutputEmbeds),
                                 std::move(decoderKeyPaddingMask));
    platform::Task::checkCancellation(stop);
    const auto output = snapshot->predict(input);
    DecodingCache cache{output.multiArray("key_cache_updates"), output.multiArray("value_cache_updates"),
                        output.multiArray("alignment_heads_weights")};
    return std::make_pair(output.multiArray("logits"), std::optional<DecodingCache>(std::move(cache)));
}

std::shared_ptr<TextDecoderOutputType> TextDecoder::predictLogits(const TextDecoderInputType& input, std::stop_token stop) {
    const auto* arrays = dynamic_cast<const TextDecoderMLMultiArrayInputType*>(&input);
    if (!arrays) throw WhisperError::transcriptionFailed("Input must be TextDecoderMLMultiArrayInputType");
    auto step = predictLogits(arrays->inputIds, arrays->cacheLength, arrays->keyCache, arrays->valueCache,
                              arrays->kvCacheUpdateMask, arrays->encoderOutputEmbeds, arrays->decoderKeyPaddingMask,
                              stop);
    if (!step) return std::make_shared<TextDecoderMLMultiArrayOutputType>(nullptr, std::nullopt);
    return std::make_shared<TextDecoderMLMultiArrayOutputType>(std::move(step->first), std::move(step->second));
}

std::shared_ptr<LanguageLogitsFilter> TextDecoder::languageFilter(const WhisperTokenizer& tokenizer, int64_t logitsSize) {
    std::lock_guard lock(mutex_);
    // Built once per loaded model: its list covers almost the whole vocabulary.
    if (!languageLogitsFilter_)
        languageLogitsFilter_ = std::make_shared<LanguageLogitsFilter>(tokenizer.allLanguageTokens(), logitsSize, 0);
    return languageLogitsFilter_;
}

DecodingResult TextDecoder::detectLanguage(const AudioEncoderOutputType& from, std::shared_ptr<DecodingInputsType> using_,
                                           TokenSampling& sampler, const DecodingOptions&, platform::ml::Half,
                                           std::stop_token stop) {
    const auto tokenizer = this->tokenizer();
    if (!tokenizer) throw WhisperError::tokenizerUnavailable("Tokenizer is unavailable");
    const auto logitsDim = logitsSize();
    if (!logitsDim) throw WhisperError::modelsUnavailable("Failed to read logits size from model");
    const int64_t startToken = tokenizer->specialTokens().startOfTranscriptToken;
    const std::vector<int64_t> prompt{startToken};
    const auto filter = languageFilter(*tokenizer, *logitsDim);

    auto* inputs = dynamic_cast<DecodingInputs*>(using_.get());
    if (using_ && using_->inputIds() && using_->cacheLength()) {
        using_->inputIds()->setFloatAt(0, static_cast<float>(startToken));
        using_->cacheLength()->setFloatAt(0, 0);
    }
    const auto predictionStart = std::chrono::steady_clock::now();
    engine_log::debug("Detecting language...");
    if (!from) throw WhisperError::prepareDecoderInputsFailed("Input must be MLMultiArray");
    if (!inputs) throw WhisperError::prepareDecoderInputsFailed("DecodingInputsType must be DecodingInputs");

    // The step's cache slices are not written back: detection leaves the caches as they were.
    const TextDecoderMLMultiArrayInputType step(inputs->inputIds(), inputs->cacheLength(), inputs->keyCache(),
                                                inputs->valueCache(), inputs->kvCacheUpdateMask(), from,
                                                inputs->decoderKeyPaddingMask());
    const auto output = std::dynamic_pointer_cast<TextDecoderMLMultiArrayOutputType>(predictLogits(step, stop));
    if (!output || !output->logits) {
        engine_log::error("Unable to decode logits");
        throw WhisperError::decodingLogitsFailed("Unable to decode logits from the model output");
    }
    TranscriptionTimings timings;
    timings.decodingPredictions = platform::secondsSince(predictionStart);

    if (static_cast<int64_t>(prompt.size()) >= filter->sampleBegin())
        forbidTokenIndexes(*output->logits, filter->nonLanguageTokenIndexes());

    const auto samplingStart = std::chrono::steady_clock::now();
    const auto sampled = sampler.update(prompt, *output->logits, {0.0f});
    if (sampled.tokens.empty()) throw WhisperError::decodingFailed("Token sampler returned no tokens");
    timings.decodingSampling = platform::secondsSince(samplingStart);

    const auto codeOf = [&](int64_t token) { return Constants::trimmingSpecialTokenCharacters(tokenizer->decode({token})); };
    std::map<std::string, float> languageProbs;
    const auto& languageTokens = tokenizer->allLanguageTokens();
    for (size_t i = 0; i < sampled.tokens.size() && i < sampled.logProbs.size(); ++i)
        if (languageTokens.count(sampled.tokens[i])) languageProbs[codeOf(sampled.tokens[i])] = sampled.logProbs[i];

    std::string language = codeOf(sampled.tokens.back());
    if (Constants::languageCodes().count(language)) {
        engine_log::debug("Detected language: " + language);
    } else {
        engine_log::error("Detected language " + language + " is not supported, defaulting to " +
                          std::string(Constants::defaultLanguageCode));
        language = std::string(Constants::defaultLanguageCode);
    }

    DecodingResult result;
    result.language = language;
    result.languageProbs = std::move(languageProbs);
    result.timings = timings;
    return result;
}

}  // namespace DovuzudUza
