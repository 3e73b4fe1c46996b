#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stop_token>
#include <vector>

#include "DovuzudUza/Core/AudioChunk.hpp"
#include "DovuzudUza/Core/DecodingOptions.hpp"

namespace DovuzudUza {

// Cuts long audio into chunks. The shared operation that moves chunk
// results onto the whole timeline lives with the chunkers.
class AudioChunking {
public:
    virtual ~AudioChunking() = default;

    // Throws on failure.
    virtual std::vector<AudioChunk> chunkAll(std::span<const float> audioArray, int64_t maxChunkLength,
                                             const std::optional<DecodingOptions>& decodeOptions,
                                             std::stop_token stop = {}) = 0;
};

}  // namespace DovuzudUza
