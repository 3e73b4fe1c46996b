#pragma once

#include <cstdint>
#include <vector>

namespace DovuzudUza {

// A stretch of a longer audio: its first sample's index in the whole audio
// (16 kHz samples) and its samples.
struct AudioChunk {
    int64_t seekOffsetIndex = 0;
    std::vector<float> audioSamples;

    bool operator==(const AudioChunk&) const = default;
};

}  // namespace DovuzudUza
