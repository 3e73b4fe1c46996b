#include <algorithm>
#include <chrono>
#include <limits>

#include "DovuzudUza/Core/Constants.hpp"
#include "DovuzudUza/Core/EngineLog.hpp"
#include "DovuzudUza/Core/GreedyTokenSampler.hpp"
#include "DovuzudUza/Core/TextDecoder.hpp"
#include "DovuzudUza/Utilities/TextUtilities.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "ZezeziCore/External/Hub/Extensions/NumberExtensions.hpp"
#include "platform/foundation/Date.hpp"
#include "platform/foundation/NumberFormat.hpp"

namespace DovuzudUza {

using platform::ml::MultiArray;
using Clock = std::chrono::steady_clock;

namespace {

// The token list never grows past one less than the token context, so the
// next cache position always lies inside the cache.
constexpr int64_t kTokenLimit = Constants::maxTokenContext - 1;

// min(promptLength - 1 + sampleLength, 223), never below 0 and without overflow.
int64_t loopBoundFor(int64_t promptLength, int64_t sampleLength) {
    const int64_t room = kTokenLimit - (promptLength - 1);
    return std::max<int64_t>(0, std::min(sampleLength, room) + (promptLength - 1));
}

// The loop's per-step totals, as the result and the progress reports carry them.
struct StepTotals {
    double predictions = 0, filtering = 0, sampling = 0, kvCaching = 0, nonPrediction = 0, loop = 0;
    double decodingLoops = 0, kvUpdateRuns = 0;
    double firstTokenTime = std::numeric_limits<double>::max();

    TranscriptionTimings timings() const {
        TranscriptionTimings t;
        t.firstTokenTime = firstTokenTime;
        t.decodingPredictions = predictions;
        t.decodingFiltering = filtering;
        t.decodingSampling = sampling;
        t.decodingKvCaching = kvCaching;
        t.decodingNonPrediction = nonPrediction;
        t.decodingLoop = loop;
        t.totalDecodingLoops = decodingLoops;
        t.totalKVUpdateRuns = kvUpdateRuns;
        return t;
    }
};

float average(const std::vector<float>& values) {
    float sum = 0;
    for (float v : values) sum += v;
    return sum / static_cast<float>(values.size());
}

std::vector<int64_t> textTokens(const std::vector<int64_t>& tokens, int64_t specialTokenBegin) {
    std::vector<int64_t> kept;
    std::copy_if(tokens.begin(), tokens.end(), std::back_inserter(kept),
                 [&](int64_t id) { return id < specialTokenBegin; });
    return kept;
}

std::string tokenLine(const char* what, int64_t index, int64_t token, const WhisperTokenizer& tokenizer) {
    return std::string(what) + " tokenIndex: " + std::to_string(index) + ", token: " + std::to_string(token) +
           ", text: " + tokenizer.decode({token});
}

}  // namespace

std::vector<std::shared_ptr<LogitsFiltering>> TextDecoder::createLogitsFilters(const DecodingOptions& options,
                                                                               int64_t initialPromptIndex,
                                                                               const WhisperTokenizer& tokenizer) {
    std::vector<std::shared_ptr<LogitsFiltering>> filters = logitsFilters().value_or(std::vector<std::shared_ptr<LogitsFiltering>>{});
    const auto& special = tokenizer.specialTokens();
    if (options.suppressBlank) filters.push_back(std::make_shared<SuppressBlankFilter>(special, initialPromptIndex));
    if (!options.suppressTokens.empty())
        filters.push_back(std::make_shared<SuppressTokensFilter>(textTokens(options.suppressTokens, special.specialTokenBegin)));
    if (!options.withoutTimestamps)
        filters.push_back(std::make_shared<TimestampRulesFilter>(special, initialPromptIndex,
                                                                 options.maxInitialTimestampIndex(),
                                                                 isModelMultilingual()));
    return filters;
}

void TextDecoder::debugCaches(const DecodingInputs& decoderInputs, int64_t) {
    if (!ZezeziCore::Logging::loggingEnabled(ZezeziCore::Logging::LogLevel::debug)) return;
    const auto at = [](const std::shared_ptr<MultiArray>& array, int64_t n) -> double {
        return array && n < array->count() ? array->floatAt(n) : 0.0;
    };
    const auto fixed = [](double value, int width, int decimals) { return platform::formatFixed(value, decimals, width); };
    engine_log::debug("--------------- DECODER INPUTS DEBUG ---------------");
    engine_log::debug("Cache Length: " + fixed(at(decoderInputs.cacheLength(), 0), 2, 0) +
                      " Input Token: " + fixed(at(decoderInputs.inputIds(), 0), 4, 0));
    engine_log::debug("Key Cache | Val Cache | Align Cache | Update Mask | Decoder Mask | Position");
    for (int64_t p = 0; p < 4; ++p) {
        engine_log::debug(fixed(at(decoderInputs.keyCache(), p), 9, 6) + " | " +
                          fixed(at(decoderInputs.valueCache(), p), 9, 6) + " | " +
                          fixed(at(decoderInputs.alignmentWeights(), p * 1500), 9, 6) + " | " +
                          fixed(at(decoderInputs.kvCacheUpdateMask(), p), 11, 0) + " | " +
                          fixed(at(decoderInputs.decoderKeyPaddingMask(), p), 12, 0) + " | " + std::to_string(p));
    }
}

DecodingResult TextDecoder::decodeText(const AudioEncoderOutputType& from, std::shared_ptr<DecodingInputsType> using_,
                                       TokenSampling& sampler, const DecodingOptions& options,
                                       ProgressCallback callback, std::stop_token stop) {
    const auto tokenizer = this->tokenizer();
    if (!tokenizer) throw WhisperError::tokenizerUnavailable("Tokenizer is unavailable");
    if (!using_) throw WhisperError::prepareDecoderInputsFailed("DecodingInputsType must be DecodingInputs");
    const std::vector<int64_t> prompt = using_->initialPrompt();
    if (prompt.empty()) throw WhisperError::prepareDecoderInputsFailed("Initial prompt must not be empty");
    const auto& special = tokenizer->specialTokens();

    const auto initialPromptIndex = static_cast<int64_t>(prompt.size());
    const int64_t loopBound = loopBoundFor(initialPromptIndex, options.sampleLength);
    std::vector<int64_t> tokens = prompt;
    std::vector<float> logProbs(prompt.size(), 0.0f);
    int64_t nextToken = prompt.back();
    const platform::UUID windowKey;
    bool alignmentSeen = false;
    bool firstTokenTooUnlikely = false;
    StepTotals totals;
    const auto filters = createLogitsFilters(options, initialPromptIndex, *tokenizer);
    const ProgressExecutor executor = callback ? progressExecutor() : ProgressExecutor{};
    const auto earlyStop = earlyStopActor_;

    // The per-token lines decode text: only made when they will be written.
    const bool debugLines = ZezeziCore::Logging::loggingEnabled(ZezeziCore::Logging::LogLevel::debug);
    engine_log::debug("Running main loop for a maximum of " + std::to_string(loopBound) + " iterations");
    earlyStop->set(false, windowKey);

    for (int64_t t = 0; t < loopBound; ++t) {
        const auto stepStart = Clock::now();
        if (t < initialPromptIndex) {
            const int64_t promptToken = prompt[static_cast<size_t>(t)];
            if (t == initialPromptIndex - 1 && promptToken >= special.timeTokenBegin && nextToken >= special.timeTokenBegin) {
                // A timestamp the model chose wins over the prompt's last one.
                tokens[static_cast<size_t>(t)] = nextToken;
                if (debugLines) engine_log::debug(tokenLine("Skipping prompt", t, nextToken, *tokenizer));
            } else {
                nextToken = promptToken;
                if (debugLines) engine_log::debug(tokenLine("Forcing prompt", t, nextToken, *tokenizer));
            }
        }
        const bool isFirstTokenStep = t == initialPromptIndex - 1;
        const bool isPromptStep = t < initialPromptIndex - 1;

        auto* inputs = dynamic_cast<DecodingInputs*>(using_.get());
        if (!inputs) throw WhisperError::prepareDecoderInputsFailed("DecodingInputsType must be DecodingInputs");
        inputs->inputIds()->setFloatAt(0, static_cast<float>(nextToken));
        inputs->cacheLength()->setFloatAt(0, static_cast<float>(t));
        if (t < 4) debugCaches(*inputs, t);

        const auto predictionStart = Clock::now();
        if (!from) throw WhisperError::prepareDecoderInputsFailed("Input must be MLMultiArray");
        const TextDecoderMLMultiArrayInputType stepInput(inputs->inputIds(), inputs->cacheLength(), inputs->keyCache(),
                                                         inputs->valueCache(), inputs->kvCacheUpdateMask(), from,
                                                         inputs->decoderKeyPaddingMask());
        const auto output = std::dynamic_pointer_cast<TextDecoderMLMultiArrayOutputType>(predictLogits(stepInput, stop));
        if (!output || !output->logits) throw WhisperError::decodingLogitsFailed("Unable to decode logits");
        totals.predictions += platform::secondsSince(predictionStart);
        const auto nonPredictionStart = Clock::now();

        auto logits = output->logits;
        for (const auto& filter : filters) logits = filter->filterLogits(logits, tokens);
        if (!logits) throw WhisperError::decodingLogitsFailed("Unable to decode logits");
        totals.filtering += platform::secondsSince(nonPredictionStart);

        const auto samplingStart = Clock::now();
        const auto sampled = sampler.update(tokens, *logits, logProbs);
        if (sampled.tokens.empty() || sampled.logProbs.empty())
            throw WhisperError::decodingFailed("Token sampler returned no tokens or log probabilities");
        nextToken = sampled.tokens.back();
        const float nextLogProb = sampled.logProbs.back();
        if (debugLines) engine_log::debug(tokenLine("Predicted next", t + 1, nextToken, *tokenizer));
        totals.sampling += platform::secondsSince(samplingStart);

        const bool stopHere =
            (isFirstTokenStep && options.firstTokenLogProbThreshold && nextLogProb < *options.firstTokenLogProbThreshold) ||
            (sampled.completed && !isPromptStep) || static_cast<int64_t>(tokens.size()) >= kTokenLimit;
        if (stopHere) {
            firstTokenTooUnlikely = isFirstTokenStep && options.firstTokenLogProbThreshold &&
                                    nextLogProb < *options.firstTokenLogProbThreshold;
            totals.nonPrediction += platform::secondsSince(nonPredictionStart);
            totals.loop += platform::secondsSince(stepStart);
            totals.decodingLoops += 1;
            break;
        }

        if (!isPromptStep) {
            tokens.push_back(nextToken);
            logProbs.push_back(nextLogProb);
        }

        const auto cacheStart = Clock::now();
        if (!output->cache || !output->cache->keyCache || !output->cache->valueCache)
            throw WhisperError::decodingLogitsFailed("Invalid model output");
        updateKVCache(*inputs->keyCache(), *output->cache->keyCache, *inputs->valueCache(), *output->cache->valueCache, t);
        inputs->decoderKeyPaddingMask()->setFloatAt(t + 1, 0);
        inputs->kvCacheUpdateMask()->setFloatAt(t, 0);
        inputs->kvCacheUpdateMask()->setFloatAt(t + 1, 1);
        if (output->cache->alignmentWeights) {
            updateAlignmentWeights(*inputs->alignmentWeights(), *output->cache->alignmentWeights, t);
            alignmentSeen = true;
        }
        totals.kvCaching += platform::secondsSince(cacheStart);
        totals.kvUpdateRuns += 1;

        if (callback) {
            TranscriptionProgress progress;
            progress.timings = totals.timings();
            progress.text = tokenizer->decode(options.skipSpecialTokens ? textTokens(tokens, special.specialTokenBegin) : tokens);
            progress.tokens = tokens;
            progress.avgLogprob = average(logProbs);
            progress.compressionRatio = TextUtilities::compressionRatio(tokens);
            progress.windowId = 0;
            executor([callback, progress = std::move(progress), isPromptStep, earlyStop, windowKey] {
                const auto answer = callback(progress);
                if (answer && !*answer && !isPromptStep) {
                    engine_log::debug("Early stopping");
                    earlyStop->set(true, windowKey);
                }
            });
        }

        totals.nonPrediction += platform::secondsSince(nonPredictionStart);
        totals.loop += platform::secondsSince(stepStart);
        totals.decodingLoops += 1;
        if (t == 0) {
            const auto now = platform::now();
            engine_log::debug("Found first token at: " + platform::dateDescription(now));
            totals.firstTokenTime = platform::secondsSince2001(now);
        }
        if (earlyStop->get(windowKey)) break;
    }

    if (!earlyStop->remove(windowKey)) engine_log::error("Early stop flag not found for window: " + windowKey.uuidString());

    std::optional<DecodingCache> cache;
    if (auto* inputs = dynamic_cast<DecodingInputs*>(using_.get()))
        cache = DecodingCache{inputs->keyCache(), inputs->valueCache(), alignmentSeen ? inputs->alignmentWeights() : nullptr};

    auto finished = sampler.finalize(tokens, logProbs);
    // A sampler that gives fewer log-probabilities than tokens gets zeros
    // for the rest, and one without an end token is taken to its last
    // token: the range below never reaches past either list.
    finished.logProbs.resize(finished.tokens.size(), 0.0f);
    const auto firstStart = std::find(finished.tokens.begin(), finished.tokens.end(), special.startOfTranscriptToken);
    const size_t begin = firstStart == finished.tokens.end() ? 0 : static_cast<size_t>(firstStart - finished.tokens.begin());
    const auto firstEnd = std::find(finished.tokens.begin() + static_cast<std::ptrdiff_t>(begin), finished.tokens.end(),
                                    special.endToken);
    const size_t end = firstEnd == finished.tokens.end() ? finished.tokens.size()
                                                         : static_cast<size_t>(firstEnd - finished.tokens.begin()) + 1;

    DecodingResult result;
    result.tokens.assign(finished.tokens.begin() + static_cast<std::ptrdiff_t>(begin),
                         finished.tokens.begin() + static_cast<std::ptrdiff_t>(end));
    const std::vector<float> rangeLogProbs(finished.logProbs.begin() + static_cast<std::ptrdiff_t>(begin),
                                           finished.logProbs.begin() + static_cast<std::ptrdiff_t>(end));
    result.avgLogProb = result.tokens.empty() ? 0.0f : average(rangeLogProbs);
    for (size_t i = 0; i < result.tokens.size(); ++i) result.tokenLogProbs.push_back({{result.tokens[i], rangeLogProbs[i]}});
    result.compressionRatio = TextUtilities::compressionRatio(textTokens(result.tokens, special.specialTokenBegin));
    const auto* greedy = dynamic_cast<const GreedyTokenSampler*>(&sampler);
    result.temperature = greedy ? ZezeziCore::rounded(greedy->temperature.toFloat(), 3) : options.temperature;

    if (options.language) {
        result.language = *options.language;
        result.languageProbs = {{*options.language, 0.0f}};
    } else {
        result.language = std::string(Constants::defaultLanguageCode);
        result.languageProbs = {{result.language, 0.0f}};
        const auto& languageTokens = tokenizer->allLanguageTokens();
        for (size_t i = 0; i < result.tokens.size(); ++i) {
            if (!languageTokens.count(result.tokens[i])) continue;
            result.language = Constants::trimmingSpecialTokenCharacters(tokenizer->decode({result.tokens[i]}));
            result.languageProbs = {{result.language, rangeLogProbs[i]}};
            break;
        }
    }

    result.text = tokenizer->decode(result.tokens);
    engine_log::debug("Completed window: " + result.text);
    result.noSpeechProb = 0.0f;  // this decoder computes no no-speech probability
    result.cache = std::move(cache);
    result.timings = totals.timings();
    result.fallback = DecodingFallback::verdict(options, firstTokenTooUnlikely, result.noSpeechProb,
                                                result.compressionRatio, result.avgLogProb);
    return result;
}

}  // namespace DovuzudUza
