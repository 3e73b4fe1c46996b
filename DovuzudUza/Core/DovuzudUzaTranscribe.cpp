// One sample array to text: a single windowed transcription task, or, for
// long audio that asks for it, chunks cut at silences transcribed together.
#include "DovuzudUza/Core/Audio/VADAudioChunker.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "DovuzudUza/Core/DovuzudUza.hpp"
#include "DovuzudUza/Core/EngineLog.hpp"
#include "DovuzudUza/Core/SegmentShift.hpp"
#include "DovuzudUza/Core/TranscribeTask.hpp"
#include "platform/concurrency/Task.hpp"
#include "platform/foundation/NumberFormat.hpp"

namespace DovuzudUza {

namespace {

void logResults(const TranscriptionResults& results) {
    engine_log::info("Total Transcription Results: " + platform::formatInteger(static_cast<int64_t>(results.size())));
    for (size_t i = 0; i < results.size(); ++i) {
        engine_log::debug("[Result " + platform::formatInteger(static_cast<int64_t>(i)) + "]");
        results[i]->logSegments();
    }
}

// When not one chunk was transcribed, the first chunk's error: an empty
// list would say the audio held no speech.
void rethrowWhenEveryChunkFailed(const std::vector<TranscriptionOutcome>& outcomes) {
    if (outcomes.empty()) return;
    for (const auto& outcome : outcomes)
        if (!std::holds_alternative<std::exception_ptr>(outcome)) return;
    if (const auto& error = std::get<std::exception_ptr>(outcomes.front())) std::rethrow_exception(error);
}

bool isFinished(const Hub::Progress& progress) {
    return progress.totalUnitCount() > 0 && progress.fractionCompleted() >= 1.0;
}

}  // namespace

TranscriptionResults DovuzudUza::transcribe(const std::vector<float>& audioArray,
                                            const std::optional<DecodingOptions>& decodeOptions,
                                            TranscriptionCallback callback, SegmentDiscoveryCallback segmentCallback,
                                            std::stop_token stop) {
    return transcribe(audioArray, 0, decodeOptions, std::move(callback), std::move(segmentCallback), stop);
}

TranscriptionResults DovuzudUza::transcribe(const std::vector<float>& audioArray, int64_t audioArrayOffset,
                                            const std::optional<DecodingOptions>& decodeOptions,
                                            TranscriptionCallback callback, SegmentDiscoveryCallback segmentCallback,
                                            std::stop_token stop) {
    // Decided before any model loads: an engine without models uses 30 s.
    const int64_t window = windowLength();
    if (static_cast<int64_t>(audioArray.size()) > window && decodeOptions &&
        decodeOptions->chunkingStrategy == ChunkingStrategy::vad)
        return transcribeChunked(audioArray, audioArrayOffset, *decodeOptions, std::move(callback), stop);

    SegmentDiscoveryCallback effective = segmentCallback ? std::move(segmentCallback) : segmentDiscoveryCallback();
    // The dictation road (offset 0) forwards segments without copying them.
    if (audioArrayOffset >= 1 && effective) effective = shiftingSegmentCallback(std::move(effective), audioArrayOffset);
    auto results = runTranscribeTask(audioArray, decodeOptions, std::move(callback), std::move(effective), stop);
    if (decodeOptions && decodeOptions->verbose) logResults(results);
    return results;
}

TranscriptionResults DovuzudUza::transcribeChunked(const std::vector<float>& audioArray, int64_t audioArrayOffset,
                                                   const DecodingOptions& decodeOptions, TranscriptionCallback callback,
                                                   std::stop_token stop) {
    VADAudioChunker chunker(16000, detectorForChunking());
    const auto chunks = chunker.chunkAll(audioArray, windowLength(), decodeOptions, stop);
    engine_log::debug("Found " + platform::formatInteger(static_cast<int64_t>(chunks.size())) + " VAD chunks");
    if (!chunks.empty()) {
        const auto root = progress();
        root->setTotalUnitCount(std::max<int64_t>(root->totalUnitCount(), static_cast<int64_t>(chunks.size())));
    }

    // The clips were applied by the cutting; each chunk is transcribed whole.
    DecodingOptions chunkOptions = decodeOptions;
    chunkOptions.clipTimestamps.clear();
    std::vector<std::vector<float>> arrays;
    std::vector<std::optional<DecodingOptions>> options;
    std::vector<int64_t> seekOffsets;
    for (const auto& chunk : chunks) {
        arrays.push_back(chunk.audioSamples);
        options.emplace_back(chunkOptions);
        seekOffsets.push_back(audioArrayOffset + chunk.seekOffsetIndex);
    }
    const auto outcomes = transcribeWithOptions(arrays, options, seekOffsets, std::move(callback), stop);
    // Chunks cut short by a stop are not results: the whole call was stopped.
    if (stop.stop_requested()) throw platform::CancellationError();
    rethrowWhenEveryChunkFailed(outcomes);
    auto results = updateSeekOffsetsForResults(outcomes, chunks);
    if (decodeOptions.verbose) logResults(results);
    return results;
}

std::shared_ptr<TranscribeTask> DovuzudUza::setupTranscribeTask(
    const TranscriptionTimings& currentTimings, std::shared_ptr<Hub::Progress> progress,
    std::shared_ptr<AudioProcessing> audioProcessor, std::shared_ptr<AudioEncoding> audioEncoder,
    std::shared_ptr<FeatureExtracting> featureExtractor, std::shared_ptr<SegmentSeeking> segmentSeeker,
    std::shared_ptr<TextDecoding> textDecoder, std::shared_ptr<WhisperTokenizer> tokenizer) {
    return std::make_shared<TranscribeTask>(currentTimings, std::move(progress), std::move(audioProcessor),
                                            std::move(audioEncoder), std::move(featureExtractor),
                                            std::move(segmentSeeker), std::move(textDecoder), std::move(tokenizer));
}

TranscriptionResults DovuzudUza::runTranscribeTask(const std::vector<float>& audioArray,
                                                   const std::optional<DecodingOptions>& decodeOptions,
                                                   TranscriptionCallback callback,
                                                   SegmentDiscoveryCallback segmentCallback, std::stop_token stop) {
    if (modelState() != ZezeziCore::ModelState::loaded) {
        // Concurrent runs may all find the models unloaded; one loads them.
        std::lock_guard serial(lifecycleMutex_);
        if (modelState() != ZezeziCore::ModelState::loaded) loadModels(false, stop);
    }
    auto taskTokenizer = tokenizer();
    if (!taskTokenizer) throw WhisperError(WhisperError::Kind::tokenizerUnavailable, "Tokenizer is unavailable");
    if (stop.stop_requested()) {
        resetProgress();
        throw platform::CancellationError();
    }

    auto child = std::make_shared<Hub::Progress>();
    const auto root = progress();
    root->setTotalUnitCount(std::max<int64_t>(root->totalUnitCount(), 1));
    root->addChild(child, 1);

    auto task = setupTranscribeTask(currentTimings(), child, audioProcessor(), audioEncoder(), featureExtractor(),
                                    segmentSeeker(), textDecoder(), std::move(taskTokenizer));
    task->setSegmentDiscoveryCallback(std::move(segmentCallback));
    std::shared_ptr<TranscriptionResult> result;
    try {
        result = task->run(audioArray, decodeOptions, std::move(callback), stop);
    } catch (const platform::CancellationError&) {
        resetProgress();
        throw;
    }
    if (decodeOptions && decodeOptions->verbose) result->logTimings();
    if (isFinished(*progress())) resetProgress();
    return {result};
}

}  // namespace DovuzudUza
