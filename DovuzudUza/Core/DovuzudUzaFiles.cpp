// One audio file to text: loaded whole and transcribed as an array, or read
// piece by piece with each piece transcribed while the rest still loads.
#include <algorithm>

#include "DovuzudUza/Core/Audio/AudioProcessor.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "DovuzudUza/Core/DovuzudUza.hpp"
#include "DovuzudUza/Core/EngineLog.hpp"
#include "DovuzudUza/Core/SegmentShift.hpp"
#include "ZezeziCore/Logging.hpp"
#include "platform/concurrency/Task.hpp"
#include "platform/foundation/Date.hpp"

namespace DovuzudUza {

namespace {

// Runs `ending` when it goes, whichever way the scope is left.
template <class F>
struct OnExit {
    F ending;
    ~OnExit() { ending(); }
};
template <class F>
OnExit(F) -> OnExit<F>;

// Moves a chunk's results onto the file's timeline, in place.
void moveToChunk(const TranscriptionResults& results, int64_t seekOffsetIndex) {
    const float seconds = static_cast<float>(seekOffsetIndex) / 16000.0f;
    for (const auto& result : results) {
        result->setSegments(shiftedSegments(result->segments(), seekOffsetIndex));
        result->setSeekTime(result->seekTime().value_or(0.0f) + seconds);
    }
}

}  // namespace

TranscriptionResults DovuzudUza::transcribe(const std::string& audioPath,
                                            const std::optional<AudioInputOptions>& audioInputOptions,
                                            const std::optional<DecodingOptions>& decodeOptions,
                                            TranscriptionCallback callback, std::stop_token stop) {
    const AudioInputOptions options = audioInputOptions ? *audioInputOptions : this->audioInputOptions();
    const auto& mode = options.audioLoadingMode;
    const double start = platform::monotonicSeconds();

    if (mode.kind == AudioInputOptions::AudioLoadingMode::Kind::fullFile) {
        reportTranscriptionState(TranscriptionState::convertingAudio);
        std::vector<float> samples;
        {
            OnExit timing{[&] {
                const double elapsed = platform::monotonicSeconds() - start;
                modifyCurrentTimings([&](TranscriptionTimings& t) { t.audioLoading = elapsed; });
                engine_log::debug("Audio loading and convert time: " + ZezeziCore::Logging::describe(elapsed));
                ZezeziCore::Logging::logCurrentMemoryUsage("Audio Loading and Convert");
            }};
            samples = AudioProcessor::loadAudioAsFloatArray(audioPath, options.channelMode, 0.0, std::nullopt);
        }
        reportTranscriptionState(TranscriptionState::transcribing);
        OnExit finished{[&] { reportTranscriptionState(TranscriptionState::finished); }};
        return transcribe(samples, decodeOptions, std::move(callback), nullptr, stop);
    }

    // Streaming: the time covers reading and transcribing together.
    OnExit timing{[&] {
        const double elapsed = platform::monotonicSeconds() - start;
        modifyCurrentTimings([&](TranscriptionTimings& t) { t.audioLoading = elapsed; });
        engine_log::debug("Audio streaming and transcription time: " + ZezeziCore::Logging::describe(elapsed));
        ZezeziCore::Logging::logCurrentMemoryUsage("Audio Streaming");
    }};
    auto stream = AudioProcessor::loadFileIncrementally(audioPath, options.channelMode, mode.chunkDurationSeconds,
                                                        mode.maxBufferedChunks, windowLength(), detectorForChunking());
    return transcribeFileStream(stream, decodeOptions, std::move(callback), true, stop);
}

TranscriptionResults DovuzudUza::transcribeFileStream(const std::shared_ptr<IncrementalChunkStream>& audioStream,
                                                      const std::optional<DecodingOptions>& decodeOptions,
                                                      TranscriptionCallback callback, bool emitStateCallbacks,
                                                      std::stop_token stop) {
    if (decodeOptions && !decodeOptions->clipTimestamps.empty()) {
        throw WhisperError(WhisperError::Kind::transcriptionFailed,
                           "clipTimestamps is not supported with AudioLoadingMode.incremental. Use .fullFile, or "
                           "transcribe the desired range as a separate call.");
    }
    auto report = [&](TranscriptionState state) {
        if (emitStateCallbacks) reportTranscriptionState(state);
    };
    TranscriptionResults results;
    report(TranscriptionState::transcribing);
    OnExit finished{[&] { report(TranscriptionState::finished); }};
    for (;;) {
        auto chunk = audioStream->next(stop);
        if (!chunk) break;
        TranscriptionResults chunkResults;
        try {
            chunkResults = transcribe(chunk->audioChunk.audioSamples, chunk->audioChunk.seekOffsetIndex, decodeOptions,
                                      callback, nullptr, stop);
        } catch (...) {
            chunk->completionSignal();
            audioStream->cancel();
            throw;
        }
        moveToChunk(chunkResults, chunk->audioChunk.seekOffsetIndex);
        results.insert(results.end(), chunkResults.begin(), chunkResults.end());
        // Frees the reader's slot for the next piece.
        chunk->completionSignal();
    }
    // The stream also ends early when stopped; that is no whole result.
    if (stop.stop_requested()) throw platform::CancellationError();
    std::stable_sort(results.begin(), results.end(), [](const auto& a, const auto& b) {
        return a->seekTime().value_or(0.0f) < b->seekTime().value_or(0.0f);
    });
    return results;
}

}  // namespace DovuzudUza
