#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <span>
#include <stop_token>
#include <variant>
#include <vector>

#include "DovuzudUza/Core/Audio/VoiceActivityDetector.hpp"
#include "DovuzudUza/Core/AudioChunk.hpp"
#include "DovuzudUza/Core/AudioChunking.hpp"
#include "DovuzudUza/Core/DecodingOptions.hpp"
#include "DovuzudUza/Core/TranscriptionResult.hpp"

namespace DovuzudUza {

// Cuts audio longer than one window at the middle of the longest silence in
// the second half of each window.
class VADAudioChunker : public AudioChunking {
public:
    // Without a detector the default energy detector is used.
    explicit VADAudioChunker(int64_t windowPadding = 16000, std::shared_ptr<const VoiceActivityDetector> vad = nullptr);

    std::vector<AudioChunk> chunkAll(std::span<const float> audioArray, int64_t maxChunkLength,
                                     const std::optional<DecodingOptions>& decodeOptions,
                                     std::stop_token stop = {}) override;

private:
    int64_t windowPadding_;
    std::shared_ptr<const VoiceActivityDetector> vad_;
};

// The results of one chunk's transcription, or why it failed.
using ChunkTranscriptionResult = std::variant<std::vector<std::shared_ptr<TranscriptionResult>>, std::exception_ptr>;

// Moves each chunk's results onto the timeline of the whole audio (in
// place) and returns them in order; failed chunks are left out.
std::vector<std::shared_ptr<TranscriptionResult>> updateSeekOffsetsForResults(
    const std::vector<ChunkTranscriptionResult>& chunkedResults, const std::vector<AudioChunk>& audioChunks);

}  // namespace DovuzudUza
