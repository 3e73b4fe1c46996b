#include "DovuzudUza/Core/TranscribeTask.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "DovuzudUza/Core/Audio/AudioProcessor.hpp"
#include "DovuzudUza/Core/Constants.hpp"
#include "DovuzudUza/Core/EngineLog.hpp"
#include "DovuzudUza/Core/GreedyTokenSampler.hpp"
#include "DovuzudUza/Utilities/EngineLogging.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "ZezeziCore/Logging.hpp"
#include "platform/concurrency/Task.hpp"
#include "platform/foundation/Date.hpp"
#include "platform/foundation/NumberFormat.hpp"
#include "platform/foundation/Trim.hpp"

namespace DovuzudUza {

namespace {

using Clock = std::chrono::steady_clock;

template <class T>
std::shared_ptr<T> required(std::shared_ptr<T> stage, const char* name) {
    if (!stage) throw std::invalid_argument(std::string("TranscribeTask needs ") + name);
    return stage;
}

// Float seconds of a sample index, "%.2f".
std::string secondsText(float seconds) { return platform::formatFixed(seconds, 2); }

// ["<|startoftranscript|>", "<|es|>"]: each token's text quoted.
std::string promptText(const std::vector<int64_t>& prompt, const WhisperTokenizer& tokenizer) {
    std::string text = "[";
    for (size_t i = 0; i < prompt.size(); ++i) {
        if (i) text += ", ";
        text += '"';
        for (char c : tokenizer.convertIdToToken(prompt[i]).value_or("")) {
            switch (c) {
                case '"': text += "\\\""; break;
                case '\\': text += "\\\\"; break;
                case '\n': text += "\\n"; break;
                case '\t': text += "\\t"; break;
                case '\r': text += "\\r"; break;
                default: text += c;
            }
        }
        text += '"';
    }
    return text + "]";
}

std::string clipsText(const std::vector<std::pair<int64_t, int64_t>>& clips) {
    std::string text = "[";
    for (size_t i = 0; i < clips.size(); ++i) {
        if (i) text += ", ";
        text += "(start: " + std::to_string(clips[i].first) + ", end: " + std::to_string(clips[i].second) + ")";
    }
    return text + "]";
}

// "[start -> end] prob: p, word: w", the times with three significant digits.
std::string wordLine(const WordTiming& word) {
    std::string line(1, '[');
    line += platform::formatSignificant(word.start, 3);
    line += " -> ";
    line += platform::formatSignificant(word.end, 3);
    line += "] prob: ";
    line += platform::formatShortest(word.probability);
    line += ", word: ";
    line += word.word;
    return line;
}

// "[start --> end] text", the times "%.2f".
std::string segmentLine(const TranscriptionSegment& segment) {
    std::string line(1, '[');
    line += secondsText(segment.start);
    line += " --> ";
    line += secondsText(segment.end);
    line += "] ";
    line += segment.text;
    return line;
}

// Sample index arithmetic held at the ends of the 64-bit range: clip times
// and window options far past any audio must not wrap around.
int64_t saturatingAdd(int64_t a, int64_t b) {
    int64_t sum;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
}

int64_t saturatingSubtract(int64_t a, int64_t b) {
    int64_t difference;
    if (!__builtin_sub_overflow(a, b, &difference)) return difference;
    return b < 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
}

// Samples in a span of seconds, cut toward zero; a time that is no number
// gives none and one beyond any audio is held at 2^62 samples.
int64_t samplesIn(float seconds) {
    const float samples = seconds * static_cast<float>(Constants::sampleRate);
    if (std::isnan(samples)) return 0;
    constexpr float limit = 4611686018427387904.0f;  // 2^62
    return static_cast<int64_t>(std::clamp(samples, -limit, limit));
}

}  // namespace

TranscribeTask::TranscribeTask(TranscriptionTimings currentTimings, std::shared_ptr<Hub::Progress> progress,
                               std::shared_ptr<AudioProcessing> audioProcessor,
                               std::shared_ptr<AudioEncoding> audioEncoder,
                               std::shared_ptr<FeatureExtracting> featureExtractor,
                               std::shared_ptr<SegmentSeeking> segmentSeeker, std::shared_ptr<TextDecoding> textDecoder,
                               std::shared_ptr<WhisperTokenizer> tokenizer)
    : timings_(currentTimings),
      progress_(progress ? std::move(progress) : std::make_shared<Hub::Progress>()),
      audioEncoder_(required(std::move(audioEncoder), "an audio encoder")),
      featureExtractor_(required(std::move(featureExtractor), "a feature extractor")),
      segmentSeeker_(required(std::move(segmentSeeker), "a segment seeker")),
      textDecoder_(required(std::move(textDecoder), "a text decoder")),
      audioProcessor_(audioProcessor ? std::move(audioProcessor) : std::make_shared<AudioProcessor>()),
      tokenizer_(required(std::move(tokenizer), "a tokenizer")) {}

void TranscribeTask::setTokenizer(std::shared_ptr<WhisperTokenizer> tokenizer) {
    tokenizer_ = required(std::move(tokenizer), "a tokenizer");
}

void TranscribeTask::windowPreprocess(const AudioProcessorOutputType&, int64_t, int64_t) {}

std::vector<TranscriptionSegment> TranscribeTask::windowPostProcess(int64_t, int64_t,
                                                                    std::vector<TranscriptionSegment> originalSegments) {
    return originalSegments;
}

std::shared_ptr<TranscriptionResult> TranscribeTask::finalizeTranscriptionResult(
    const std::vector<int64_t>& tokens, const std::vector<TranscriptionSegment>& segments,
    const std::optional<std::string>& language, const TranscriptionTimings& timings) {
    const int64_t specialTokenBegin = tokenizer_->specialTokens().specialTokenBegin;
    std::vector<int64_t> textTokens;
    std::copy_if(tokens.begin(), tokens.end(), std::back_inserter(textTokens),
                 [&](int64_t id) { return id < specialTokenBegin; });
    const std::string text = platform::trimmingWhitespace(tokenizer_->decode(textTokens));
    return std::make_shared<TranscriptionResult>(text, segments,
                                                 language.value_or(std::string(Constants::defaultLanguageCode)),
                                                 timings, std::nullopt);
}

std::shared_ptr<TranscriptionResult> TranscribeTask::run(std::span<const float> audioArray,
                                                         std::optional<DecodingOptions> decodeOptions,
                                                         ProgressCallback callback, std::stop_token stop) {
    platform::ScopedSignpost interval(EngineLogging::TranscribeTask::signposter(), "TranscribeAudio");
    const auto startDate = platform::now();
    timings_.pipelineStart = std::min(timings_.pipelineStart, platform::secondsSince2001(startDate));
    engine_log::debug("Starting pipeline at: " + platform::dateDescription(startDate));

    DecodingOptions options = decodeOptions.value_or(DecodingOptions{});
    options.verbose = ZezeziCore::Logging::loggingEnabled();
    const int64_t sampleCount = static_cast<int64_t>(audioArray.size());

    std::optional<std::string> detectedLanguage;
    std::vector<int64_t> allTokens;
    std::vector<TranscriptionSegment> allSegments;
    const double firstClipTime =
        decodeOptions && !decodeOptions->clipTimestamps.empty() ? decodeOptions->clipTimestamps.front() : 0.0;
    timings_.inputAudioSeconds = static_cast<double>(sampleCount) / Constants::sampleRate - firstClipTime;

    const auto initStart = Clock::now();
    auto decoderInputs = textDecoder_->prepareDecoderInputs({tokenizer_->specialTokens().startOfTranscriptToken});
    timings_.decodingInit = platform::secondsSince(initStart);
    engine_log::debug("Decoder init time: " + platform::formatShortest(timings_.decodingInit));
    if (options.usePrefillPrompt) decoderInputs = textDecoder_->prefillDecoderInputs(decoderInputs, options, stop);
    engine_log::debug("Prefill prompt: " + promptText(decoderInputs->initialPrompt(), *tokenizer_));

    const auto seekClips = options.prepareSeekClips(sampleCount);
    engine_log::debug("Decoding seek clips: " + clipsText(seekClips));
    int64_t total = 0;
    for (const auto& [start, end] : seekClips) total = saturatingAdd(total, saturatingSubtract(end, start));
    progress_->setTotalUnitCount(total);
    const double decodeLoopStart = platform::currentAbsoluteTime();
    const int64_t windowClipSamples = samplesIn(options.windowClipTime);

    for (const auto& [clipStart, clipEnd] : seekClips) {
        const int64_t completedAtClipStart = progress_->completedUnitCount();
        const int64_t windowLength = featureExtractor_->windowSamples().value_or(Constants::defaultWindowSamples);
        // A window must hold samples, or the loop below would never move on.
        if (windowLength < 1)
            throw WhisperError::transcriptionFailed("Window length must be positive, got " + std::to_string(windowLength));
        const int64_t clipLimit = saturatingSubtract(clipEnd, windowClipSamples);
        int64_t seek = clipStart;

        while (seek < clipLimit) {
            const int64_t segmentSize =
                std::min({windowLength, saturatingSubtract(sampleCount, seek), saturatingSubtract(clipEnd, seek)});
            const float seekSeconds = static_cast<float>(seek) / static_cast<float>(Constants::sampleRate);
            const float endSeconds = static_cast<float>(seek + segmentSize) / static_cast<float>(Constants::sampleRate);
            engine_log::debug("Decoding Seek: " + std::to_string(seek) + " (" + secondsText(seekSeconds) + "s)");
            engine_log::debug("Decoding Window Size: " + std::to_string(segmentSize) + " (" +
                              secondsText(endSeconds - seekSeconds) + "s)");

            const auto windowStart = Clock::now();
            // A window before the audio, after it, or without samples fits nothing.
            AudioProcessorOutputType window;
            if (seek >= 0 && segmentSize > 0) {
                const auto samples = audioArray.subspan(static_cast<size_t>(seek), static_cast<size_t>(segmentSize));
                window = audioProcessor_->padOrTrim(samples, 0, windowLength);
            }
            if (!window) throw WhisperError::transcriptionFailed("Audio samples are nil");
            windowPreprocess(window, seek, segmentSize);
            timings_.audioProcessing += platform::secondsSince(windowStart);
            timings_.totalAudioProcessingRuns += 1;
            platform::Task::checkCancellation(stop);

            const auto melStart = Clock::now();
            const auto mel = featureExtractor_->logMelSpectrogram(window, stop);
            if (!mel) throw WhisperError::transcriptionFailed("Mel output is nil");
            timings_.logmels += platform::secondsSince(melStart);
            timings_.totalLogmelRuns += 1;
            platform::Task::checkCancellation(stop);

            const auto encoderStart = Clock::now();
            const auto encoded = audioEncoder_->encodeFeatures(mel, stop);
            if (!encoded) throw WhisperError::transcriptionFailed("Encoder output is nil");
            timings_.encoding += platform::secondsSince(encoderStart);
            timings_.totalEncodingRuns += 1;

            engine_log::info("Decoding " + secondsText(seekSeconds) + "s - " + secondsText(endSeconds) + "s");

            const auto windowId = static_cast<int64_t>(timings_.totalDecodingWindows - timings_.totalDecodingFallbacks);
            // Holds only the caller's callback and this window's id: a late
            // report still carries its own window. Without a caller's callback
            // there is nothing to report to, and a wrapper that answers nothing
            // never stops a decode: the decoder then skips building reports.
            ProgressCallback wrapper;
            if (callback) {
                wrapper = [callback, windowId](const TranscriptionProgress& progress) -> std::optional<bool> {
                    TranscriptionProgress stamped = progress;
                    stamped.windowId = windowId;
                    return callback(stamped);
                };
            }
            platform::Task::checkCancellation(stop);

            const auto result = decodeWithFallback(encoded, options, decoderInputs, detectedLanguage, wrapper, stop);

            const auto windowingStart = Clock::now();
            auto [returnedSeek, segments] = segmentSeeker_->findSeekPointAndSegments(
                result, options, static_cast<int64_t>(allSegments.size()), seek, segmentSize, Constants::sampleRate,
                tokenizer_->specialTokens().timeTokenBegin, tokenizer_->specialTokens().specialTokenBegin, *tokenizer_);
            int64_t nextSeek = std::max(returnedSeek, seek);

            if (options.wordTimestamps && result.cache && result.cache->alignmentWeights) {
                const auto wordsStart = Clock::now();
                const auto timed = segmentSeeker_->addWordTimestamps(
                    segments.value_or(std::vector<TranscriptionSegment>{}), *result.cache->alignmentWeights,
                    *tokenizer_, seek, segmentSize, std::string(Constants::defaultPrependPunctuations),
                    std::string(Constants::defaultAppendPunctuations),
                    static_cast<float>(static_cast<double>(seek) / Constants::sampleRate), options, timings_);
                segments.reset();
                if (timed) {
                    std::vector<TranscriptionSegment> kept;
                    std::copy_if(timed->begin(), timed->end(), std::back_inserter(kept),
                                 [](const TranscriptionSegment& s) { return s.start < s.end; });
                    // Numbered again past the dropped ones: the next window's
                    // first id is the count of segments kept, and must be new.
                    for (size_t i = 0; i < kept.size(); ++i)
                        kept[i].id = static_cast<int64_t>(allSegments.size() + i);
                    segments = std::move(kept);
                }
                timings_.decodingWordTimestamps += platform::secondsSince(wordsStart);
                timings_.totalTimestampAlignmentRuns += 1;
                if (segments && !segments->empty())
                    nextSeek = std::max(nextSeek, samplesIn(segments->back().end));
                if (options.verbose) {
                    engine_log::debug("Word timestamps:");
                    for (const auto& segment : segments.value_or(std::vector<TranscriptionSegment>{}))
                        for (const auto& word : segment.words.value_or(std::vector<WordTiming>{}))
                            engine_log::debug(wordLine(word));
                }
            }

            if (options.maxWindowSeek) nextSeek = std::min(saturatingAdd(seek, *options.maxWindowSeek), nextSeek);
            // Each window must move the seek on, or the same window would run forever.
            if (nextSeek <= seek) nextSeek = saturatingAdd(seek, segmentSize);

            if (segments) {
                auto kept = windowPostProcess(seek, segmentSize, std::move(*segments));
                if (options.verbose) {
                    engine_log::debug("Segments for window:");
                    for (const auto& segment : kept) engine_log::debug(segmentLine(segment));
                }
                if (segmentDiscoveryCallback_) segmentDiscoveryCallback_(kept);
                for (const auto& segment : kept) allTokens.insert(allTokens.end(), segment.tokens.begin(), segment.tokens.end());
                allSegments.insert(allSegments.end(), std::make_move_iterator(kept.begin()),
                                   std::make_move_iterator(kept.end()));
                timings_.decodingWindowing += platform::secondsSince(windowingStart);
                timings_.totalDecodingWindows += 1;
                decoderInputs->reset(Constants::maxTokenContext);
                progress_->setCompletedUnitCount(
                    saturatingAdd(completedAtClipStart, saturatingSubtract(std::min(nextSeek, clipEnd), clipStart)));
            }
            seek = nextSeek;
        }
    }

    progress_->setCompletedUnitCount(progress_->totalUnitCount());
    const double end = platform::currentAbsoluteTime();
    timings_.decodingLoop = end - decodeLoopStart;
    timings_.fullPipeline = end - timings_.pipelineStart;
    return finalizeTranscriptionResult(allTokens, allSegments, detectedLanguage, timings_);
}

std::vector<platform::ml::Half> TranscribeTask::temperatureSchedule(const DecodingOptions& options) {
    using platform::ml::Half;
    const Half base = Half::fromFloat(options.temperature);
    const Half increment = Half::fromFloat(options.temperatureIncrementOnFallback);
    // Beyond 65504 attempts the index itself is no longer a finite half.
    const int64_t count = std::clamp<int64_t>(options.temperatureFallbackCount, -1, 65504) + 1;
    std::vector<Half> schedule;
    schedule.reserve(static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i) schedule.push_back(increment * Half::fromFloat(static_cast<float>(i)) + base);
    return schedule;
}

DecodingResult TranscribeTask::decodeWithFallback(const AudioEncoderOutputType& encoderSegment,
                                                  const DecodingOptions& decodingOptions,
                                                  std::shared_ptr<DecodingInputsType>& decoderInputs,
                                                  std::optional<std::string>& detectedLanguage,
                                                  ProgressCallback callback, std::stop_token stop) {
    platform::ScopedSignpost interval(EngineLogging::TranscribeTask::signposter(), "Decode");
    const auto schedule = temperatureSchedule(decodingOptions);
    if (ZezeziCore::Logging::loggingEnabled(ZezeziCore::Logging::LogLevel::debug)) {
        std::string text = "[";
        for (size_t i = 0; i < schedule.size(); ++i) text += (i ? ", " : "") + schedule[i].description();
        engine_log::debug("Decoding with temperatures " + text + "]");
    }

    std::optional<DecodingResult> last;
    for (size_t i = 0; i < schedule.size(); ++i) {
        const auto temperature = schedule[i];
        engine_log::info("Decoding Temperature: " + temperature.description());
        const auto attemptStart = Clock::now();
        GreedyTokenSampler sampler(temperature, tokenizer_->specialTokens().endToken, decodingOptions);
        DecodingOptions working = decodingOptions;

        if (textDecoder_->isModelMultilingual() && !decodingOptions.language && decodingOptions.detectLanguage) {
            std::optional<DecodingResult> detection;
            try {
                detection = textDecoder_->detectLanguage(encoderSegment, decoderInputs, sampler, decodingOptions,
                                                         temperature, stop);
            } catch (const platform::CancellationError&) {
                throw;
            } catch (const std::exception&) {
                // A failed detection leaves the language open; decoding goes on.
            }
            detectedLanguage = detection ? std::optional<std::string>(detection->language) : std::nullopt;
            working.language = detectedLanguage;
            if (working.usePrefillPrompt) decoderInputs = textDecoder_->prefillDecoderInputs(decoderInputs, working, stop);
            engine_log::debug("Prefill prompt updated to: " + promptText(decoderInputs->initialPrompt(), *tokenizer_));
            if (detection && detection->timings) {
                timings_.decodingPredictions += detection->timings->decodingPredictions;
                timings_.decodingSampling += detection->timings->decodingSampling;
            }
        }

        auto result = textDecoder_->decodeText(encoderSegment, decoderInputs, sampler, working, callback, stop);
        if (!detectedLanguage) detectedLanguage = result.language;
        if (const auto& t = result.timings) {
            timings_.firstTokenTime = std::min(timings_.firstTokenTime, t->firstTokenTime);
            timings_.decodingNonPrediction += t->decodingNonPrediction;
            timings_.decodingFiltering += t->decodingFiltering;
            timings_.decodingPredictions += t->decodingPredictions;
            timings_.decodingSampling += t->decodingSampling;
            timings_.decodingKvCaching += t->decodingKvCaching;
            timings_.totalKVUpdateRuns += t->totalKVUpdateRuns;
            timings_.totalDecodingLoops += t->totalDecodingLoops;
        }
        const auto fallback = result.fallback;
        last = std::move(result);
        if (!fallback || !fallback->needsFallback) break;

        timings_.decodingFallback += platform::secondsSince(attemptStart);
        timings_.totalDecodingFallbacks = static_cast<double>(i);
        decoderInputs->reset(Constants::maxTokenContext);
        engine_log::info("Fallback #" + std::to_string(i + 1) + " (" + fallback->fallbackReason + ")");
    }
    if (!last) throw WhisperError::decodingFailed("Decoding failed");
    return std::move(*last);
}

}  // namespace DovuzudUza
