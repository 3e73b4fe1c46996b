// Several inputs in one call: arrays transcribed in concurrent batches, and
// files loaded whole or streamed, a batch at a time. One outcome per input,
// in input order; a failed input never stops the others.
#include <chrono>
#include <thread>

#include "DovuzudUza/Core/Audio/AudioProcessor.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "DovuzudUza/Core/DovuzudUza.hpp"
#include "DovuzudUza/Core/EngineLog.hpp"
#include "DovuzudUza/Core/SegmentShift.hpp"
#include "DovuzudUza/Utilities/EngineExtensions.hpp"
#include "ZezeziCore/Logging.hpp"

namespace DovuzudUza {

namespace {

TranscriptionOutcome failure(const std::string& message) {
    return std::make_exception_ptr(WhisperError(WhisperError::Kind::transcriptionFailed, message));
}

TranscriptionOutcome deallocated() { return failure("DovuzudUza instance was deallocated"); }

// Runs the children of one batch, positions [begin, end), each on its own
// thread, and waits for all. Own threads, not pool slots: each child waits
// on transcription work that itself needs the pool. A child holds the
// engine weakly; its outcome is what `body` returns or throws.
void runBatch(const std::weak_ptr<DovuzudUza>& weak, size_t begin, size_t end,
              std::vector<TranscriptionOutcome>& outcomes,
              const std::function<TranscriptionResults(DovuzudUza& engine, size_t position)>& body) {
    std::vector<std::jthread> threads;
    threads.reserve(end - begin);
    for (size_t position = begin; position < end; ++position) {
        threads.emplace_back([&, position] {
            const auto engine = weak.lock();
            if (!engine) {
                outcomes[position] = deallocated();
                return;
            }
            try {
                outcomes[position] = body(*engine, position);
            } catch (...) {
                outcomes[position] = std::current_exception();
            }
        });
    }
}

// Consecutive batches of `size` positions; a size of 0 or less puts every
// position in one batch (and makes one empty batch of nothing).
std::vector<std::pair<size_t, size_t>> batchRanges(size_t count, int64_t size) {
    if (size <= 0 || count == 0) return {{0, count}};
    std::vector<std::pair<size_t, size_t>> ranges;
    for (size_t begin = 0; begin < count; begin += static_cast<size_t>(size))
        ranges.emplace_back(begin, std::min(count, begin + static_cast<size_t>(size)));
    return ranges;
}

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

// --- Arrays ------------------------------------------------------------------

std::vector<TranscriptionOutcome> DovuzudUza::transcribeWithOptions(
    const std::vector<std::vector<float>>& audioArrays,
    const std::vector<std::optional<DecodingOptions>>& decodeOptionsArray,
    const std::optional<std::vector<int64_t>>& seekOffsets, TranscriptionCallback callback, std::stop_token stop) {
    const size_t n = audioArrays.size();
    if (decodeOptionsArray.size() != n) return {failure("The number of audio arrays and decoding options must be balanced.")};
    if (seekOffsets && seekOffsets->size() != n)
        return {failure("The number of audio arrays and seek offset indexes must be balanced.")};

    // The largest worker count sets the batch size for all; absent counts 0,
    // and 0 or less puts everything in one batch.
    int64_t batchSize = 0;
    for (const auto& options : decodeOptionsArray) batchSize = std::max(batchSize, options ? options->concurrentWorkerCount : 0);

    std::vector<TranscriptionOutcome> outcomes(n);
    for (const auto& [begin, end] : batchRanges(n, batchSize)) {
        struct Child {
            std::optional<DecodingOptions> options;
            TranscriptionCallback progress;
            SegmentDiscoveryCallback segments;
        };
        std::vector<Child> children;
        for (size_t g = begin; g < end; ++g) {
            Child child{decodeOptionsArray[g], nullptr, segmentDiscoveryCallback()};
            child.progress = [callback, g](const TranscriptionProgress& progress) -> std::optional<bool> {
                if (!callback) return std::nullopt;
                TranscriptionProgress copy = progress;
                copy.windowId = static_cast<int64_t>(g);
                return callback(copy);
            };
            if (seekOffsets) child.segments = shiftingSegmentCallback(std::move(child.segments), (*seekOffsets)[g]);
            children.push_back(std::move(child));
        }
        runBatch(weak_from_this(), begin, end, outcomes, [&](DovuzudUza& engine, size_t g) {
            const auto& child = children[g - begin];
            return engine.transcribe(audioArrays[g], child.options, child.progress, child.segments, stop);
        });
    }
    return outcomes;
}

std::vector<TranscriptionOutcome> DovuzudUza::transcribeWithResults(const std::vector<std::vector<float>>& audioArrays,
                                                                   const std::optional<DecodingOptions>& decodeOptions,
                                                                   TranscriptionCallback callback, std::stop_token stop) {
    return transcribeWithOptions(audioArrays, std::vector<std::optional<DecodingOptions>>(audioArrays.size(), decodeOptions),
                                 std::nullopt, std::move(callback), stop);
}

std::vector<std::optional<TranscriptionResults>> DovuzudUza::transcribe(
    const std::vector<std::vector<float>>& audioArrays, const std::optional<DecodingOptions>& decodeOptions,
    TranscriptionCallback callback, std::stop_token stop) {
    return toOptionalArrays(transcribeWithResults(audioArrays, decodeOptions, std::move(callback), stop));
}

// --- Files -------------------------------------------------------------------

std::vector<std::optional<TranscriptionResults>> DovuzudUza::transcribe(
    const std::vector<std::string>& audioPaths, const std::optional<AudioInputOptions>& audioInputOptions,
    const std::optional<DecodingOptions>& decodeOptions, TranscriptionCallback callback, std::stop_token stop) {
    return toOptionalArrays(transcribeWithResults(audioPaths, audioInputOptions, decodeOptions, std::move(callback), stop));
}

std::vector<TranscriptionOutcome> DovuzudUza::transcribeWithResults(
    const std::vector<std::string>& audioPaths, const std::optional<AudioInputOptions>& audioInputOptions,
    const std::optional<DecodingOptions>& decodeOptions, TranscriptionCallback callback, std::stop_token stop) {
    const AudioInputOptions options = audioInputOptions ? *audioInputOptions : this->audioInputOptions();
    if (options.audioLoadingMode.kind == AudioInputOptions::AudioLoadingMode::Kind::fullFile)
        return transcribeFilesWhole(audioPaths, options, decodeOptions, std::move(callback), stop);
    return transcribeFilesIncrementally(audioPaths, options, decodeOptions, std::move(callback), stop);
}

std::vector<TranscriptionOutcome> DovuzudUza::transcribeFilesWhole(const std::vector<std::string>& audioPaths,
                                                                   const AudioInputOptions& options,
                                                                   const std::optional<DecodingOptions>& decodeOptions,
                                                                   TranscriptionCallback callback, std::stop_token stop) {
    reportTranscriptionState(TranscriptionState::convertingAudio);
    const double start = now();
    const auto loaded = AudioProcessor::loadAudio(audioPaths, options.channelMode);
    std::vector<std::vector<float>> arrays;
    for (const auto& result : loaded)
        if (const auto* samples = std::get_if<std::vector<float>>(&result)) arrays.push_back(*samples);
    const double elapsed = now() - start;
    modifyCurrentTimings([&](TranscriptionTimings& t) { t.audioLoading = elapsed; });
    engine_log::debug("Total Audio Loading and Converting Time: " + ZezeziCore::Logging::describe(elapsed));

    reportTranscriptionState(TranscriptionState::transcribing);
    const auto answers = transcribeWithResults(arrays, decodeOptions, std::move(callback), stop);
    std::vector<TranscriptionOutcome> outcomes;
    size_t k = 0;
    for (const auto& result : loaded) {
        if (const auto* error = std::get_if<std::exception_ptr>(&result)) {
            outcomes.emplace_back(*error);
        } else if (k < answers.size()) {
            outcomes.push_back(answers[k++]);
        } else {
            // An answer list cut short leaves no entry to take.
            outcomes.push_back(failure("No transcription result for this audio"));
        }
    }
    reportTranscriptionState(TranscriptionState::finished);
    return outcomes;
}

std::vector<TranscriptionOutcome> DovuzudUza::transcribeFilesIncrementally(
    const std::vector<std::string>& audioPaths, const AudioInputOptions& options,
    const std::optional<DecodingOptions>& decodeOptions, TranscriptionCallback callback, std::stop_token stop) {
    reportTranscriptionState(TranscriptionState::transcribing);
    const double start = now();
    const int64_t workers = decodeOptions ? decodeOptions->concurrentWorkerCount : 0;
    const auto& mode = options.audioLoadingMode;

    std::vector<TranscriptionOutcome> outcomes(audioPaths.size());
    for (const auto& [begin, end] : batchRanges(audioPaths.size(), workers)) {
        runBatch(weak_from_this(), begin, end, outcomes, [&](DovuzudUza& engine, size_t position) {
            auto stream = AudioProcessor::loadFileIncrementally(audioPaths[position], options.channelMode,
                                                                mode.chunkDurationSeconds, mode.maxBufferedChunks,
                                                                engine.windowLength(), engine.detectorForChunking());
            return engine.transcribeFileStream(stream, decodeOptions, callback, false, stop);
        });
    }
    const double elapsed = now() - start;
    modifyCurrentTimings([&](TranscriptionTimings& t) { t.audioProcessing = elapsed; });
    engine_log::debug("Total Audio Streaming and Transcription Time: " + ZezeziCore::Logging::describe(elapsed));
    reportTranscriptionState(TranscriptionState::finished);
    return outcomes;
}

}  // namespace DovuzudUza
