// Several inputs in one call: arrays transcribed in concurrent batches, and
// files loaded whole or streamed, a batch at a time. One outcome per input,
// in input order; a failed input never stops the others.

#include "DovuzudUza/Core/Audio/AudioProcessor.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "DovuzudUza/Core/DovuzudUza.hpp"
#include "DovuzudUza/Core/EngineLog.hpp"
#include "DovuzudUza/Core/SegmentShift.hpp"
#include "DovuzudUza/Utilities/EngineExtensions.hpp"
#include "ZezeziCore/Logging.hpp"
#include "platform/concurrency/ConcurrentWork.hpp"
#include "platform/foundation/Date.hpp"

namespace DovuzudUza {

namespace {

TranscriptionOutcome failure(const std::string& message) {
    return std::make_exception_ptr(WhisperError(WhisperError::Kind::transcriptionFailed, message));
}

// Runs the children of one batch, positions [begin, end), at most `atOnce`
// at a time (0: as many as the process has cores), and waits for all. They
// run on the engine the caller holds: it outlives the call, and so every
// child. A child's outcome is what `body` returns or throws.
void runBatch(size_t begin, size_t end, size_t atOnce, std::vector<TranscriptionOutcome>& outcomes,
              const std::function<TranscriptionResults(size_t position)>& body) {
    platform::ConcurrentWork::forEach(end - begin, atOnce, [&](size_t i) {
        const size_t position = begin + i;
        try {
            outcomes[position] = body(position);
        } catch (...) {
            outcomes[position] = std::current_exception();
        }
    });
}

// What a call that never throws answers when the batch itself could not be
// run (out of memory, say): every input fails with that error.
std::vector<TranscriptionOutcome> everyInputFails(size_t count) {
    return std::vector<TranscriptionOutcome>(count, std::current_exception());
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

// What one array's transcription is handed: its options, progress that
// carries its position, and the engine's segment observer, shifted to the
// array's place in a longer recording when it has one.
struct Child {
    std::optional<DecodingOptions> options;
    TranscriptionCallback progress;
    SegmentDiscoveryCallback segments;
};

Child makeChild(const std::optional<DecodingOptions>& options, size_t position, const TranscriptionCallback& callback,
                SegmentDiscoveryCallback segments, std::optional<int64_t> seekOffset) {
    Child child{options, nullptr, std::move(segments)};
    child.progress = [callback, position](const TranscriptionProgress& progress) -> std::optional<bool> {
        if (!callback) return std::nullopt;
        TranscriptionProgress copy = progress;
        copy.windowId = static_cast<int64_t>(position);
        return callback(copy);
    };
    if (seekOffset) child.segments = shiftingSegmentCallback(std::move(child.segments), *seekOffset);
    return child;
}

// A batch size as a bound on the children running at once (0: the core count).
size_t atOnce(int64_t batchSize) { return batchSize > 0 ? static_cast<size_t>(batchSize) : 0; }

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

    try {
        std::vector<TranscriptionOutcome> outcomes(n);
        for (const auto& [begin, end] : batchRanges(n, batchSize)) {
            std::vector<Child> children;
            for (size_t g = begin; g < end; ++g)
                children.push_back(makeChild(decodeOptionsArray[g], g, callback, segmentDiscoveryCallback(),
                                             seekOffsets ? std::optional<int64_t>((*seekOffsets)[g]) : std::nullopt));
            runBatch(begin, end, atOnce(batchSize), outcomes, [&](size_t g) {
                const auto& child = children[g - begin];
                return transcribe(audioArrays[g], child.options, child.progress, child.segments, stop);
            });
        }
        return outcomes;
    } catch (...) {
        return everyInputFails(n);
    }
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
    try {
        const AudioInputOptions options = audioInputOptions ? *audioInputOptions : this->audioInputOptions();
        if (options.audioLoadingMode.kind == AudioInputOptions::AudioLoadingMode::Kind::fullFile)
            return transcribeFilesWhole(audioPaths, options, decodeOptions, std::move(callback), stop);
        return transcribeFilesIncrementally(audioPaths, options, decodeOptions, std::move(callback), stop);
    } catch (...) {
        return everyInputFails(audioPaths.size());
    }
}

std::vector<TranscriptionOutcome> DovuzudUza::transcribeFilesWhole(const std::vector<std::string>& audioPaths,
                                                                   const AudioInputOptions& options,
                                                                   const std::optional<DecodingOptions>& decodeOptions,
                                                                   TranscriptionCallback callback, std::stop_token stop) {
    reportTranscriptionState(TranscriptionState::convertingAudio);
    const double start = platform::monotonicSeconds();
    const auto loaded = AudioProcessor::loadAudio(audioPaths, options.channelMode);
    std::vector<std::vector<float>> arrays;
    for (const auto& result : loaded)
        if (const auto* samples = std::get_if<std::vector<float>>(&result)) arrays.push_back(*samples);
    const double elapsed = platform::monotonicSeconds() - start;
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
    const double start = platform::monotonicSeconds();
    const int64_t workers = decodeOptions ? decodeOptions->concurrentWorkerCount : 0;
    const auto& mode = options.audioLoadingMode;

    std::vector<TranscriptionOutcome> outcomes(audioPaths.size());
    for (const auto& [begin, end] : batchRanges(audioPaths.size(), workers)) {
        runBatch(begin, end, atOnce(workers), outcomes, [&](size_t position) {
            auto stream = AudioProcessor::loadFileIncrementally(audioPaths[position], options.channelMode,
                                                                mode.chunkDurationSeconds, mode.maxBufferedChunks,
                                                                windowLength(), detectorForChunking());
            return transcribeFileStream(stream, decodeOptions, callback, false, stop);
        });
    }
    const double elapsed = platform::monotonicSeconds() - start;
    modifyCurrentTimings([&](TranscriptionTimings& t) { t.audioProcessing = elapsed; });
    engine_log::debug("Total Audio Streaming and Transcription Time: " + ZezeziCore::Logging::describe(elapsed));
    reportTranscriptionState(TranscriptionState::finished);
    return outcomes;
}

}  // namespace DovuzudUza
