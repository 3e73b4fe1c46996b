#include "DovuzudUza/Core/Audio/VADAudioChunker.hpp"

#include <algorithm>
#include <cmath>

#include "DovuzudUza/Core/Audio/AudioLog.hpp"
#include "DovuzudUza/Utilities/TranscriptionUtilities.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "platform/concurrency/Task.hpp"
#include "platform/foundation/NumberFormat.hpp"

namespace DovuzudUza {

VADAudioChunker::VADAudioChunker(int64_t windowPadding, std::shared_ptr<const VoiceActivityDetector> vad)
    : windowPadding_(windowPadding), vad_(vad ? std::move(vad) : std::make_shared<EnergyVAD>()) {}

std::vector<AudioChunk> VADAudioChunker::chunkAll(std::span<const float> audioArray, int64_t maxChunkLength,
                                                  const std::optional<DecodingOptions>& decodeOptions,
                                                  std::stop_token stop) {
    const auto n = static_cast<int64_t>(audioArray.size());
    const int64_t m = maxChunkLength;
    if (m >= n) return {AudioChunk{0, std::vector<float>(audioArray.begin(), audioArray.end())}};
    if (m <= 0) throw WhisperError::audioProcessingFailed("startIndex is outside the buffer size");

    const auto clips = decodeOptions.value_or(DecodingOptions{}).prepareSeekClips(n);
    std::vector<AudioChunk> chunks;
    for (const auto& [clipStart, clipEnd] : clips) {
        int64_t start = std::max<int64_t>(clipStart, 0);
        while (start < clipEnd - windowPadding_) {
            platform::Task::checkCancellation(stop);
            if (start >= n) throw WhisperError::audioProcessingFailed("startIndex is outside the buffer size");
            int64_t windowEnd = start + m;
            int64_t chunkEnd;
            if (windowEnd >= clipEnd) {
                chunkEnd = clipEnd;
            } else {
                windowEnd = std::min(windowEnd, n);
                const int64_t mid = start + (windowEnd - start) / 2;
                const auto flags = vad_->voiceActivity(audioArray.subspan(static_cast<size_t>(mid),
                                                                          static_cast<size_t>(windowEnd - mid)));
                if (auto silence = vad_->findLongestSilence(flags)) {
                    const int64_t s = silence->startIndex, e = silence->endIndex;
                    chunkEnd = mid + (s + (e - s) / 2) * vad_->frameLengthSamples();
                } else {
                    chunkEnd = windowEnd;
                }
            }
            // A clip may reach past the audio; a chunk never does.
            chunkEnd = std::min(chunkEnd, n);
            if (chunkEnd <= start) break;
            AudioLog::debug("Found chunk from " + platform::formatFixed(static_cast<float>(start) / 16000.0f, 2) + " to " +
                            platform::formatFixed(static_cast<float>(chunkEnd) / 16000.0f, 2));
            chunks.push_back(AudioChunk{start, std::vector<float>(audioArray.begin() + start, audioArray.begin() + chunkEnd)});
            start = chunkEnd;
            if (start >= n) break;
        }
    }
    return chunks;
}

std::vector<std::shared_ptr<TranscriptionResult>> updateSeekOffsetsForResults(
    const std::vector<ChunkTranscriptionResult>& chunkedResults, const std::vector<AudioChunk>& audioChunks) {
    std::vector<std::shared_ptr<TranscriptionResult>> output;
    const size_t count = std::min(chunkedResults.size(), audioChunks.size());
    for (size_t i = 0; i < count; ++i) {
        if (const auto* error = std::get_if<std::exception_ptr>(&chunkedResults[i])) {
            std::string text = "unknown error";
            try {
                if (*error) std::rethrow_exception(*error);
            } catch (const std::exception& e) {
                text = e.what();
            } catch (...) {
            }
            AudioLog::debug("Error transcribing chunk " + std::to_string(i) + ": " + text);
            continue;
        }
        const auto& results = std::get<std::vector<std::shared_ptr<TranscriptionResult>>>(chunkedResults[i]);
        if (results.empty()) continue;
        const int64_t offset = audioChunks[i].seekOffsetIndex;
        const float seekTime = static_cast<float>(offset) / 16000.0f;
        for (const auto& result : results) {
            if (!result) continue;
            auto segments = result->segments();
            // By the sample offset itself: seconds × 16000 in single precision
            // can land one sample short.
            for (auto& segment : segments) segment = TranscriptionUtilities::updateSegmentTimings(std::move(segment), offset);
            result->setSeekTime(seekTime);
            result->setSegments(std::move(segments));
            output.push_back(result);
        }
    }
    return output;
}

}  // namespace DovuzudUza
