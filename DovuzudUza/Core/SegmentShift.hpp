#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "DovuzudUza/Core/TranscriptionSegment.hpp"

namespace DovuzudUza {

// Segments moved onto the timeline of a longer recording that their audio
// starts `sampleOffset` samples into: `seek` by the samples, start and end
// (and every word's) by the offset in seconds, float(sampleOffset) / 16000.
std::vector<TranscriptionSegment> shiftedSegments(std::vector<TranscriptionSegment> segments, int64_t sampleOffset);

// A segment observer that hands `target` the segments shifted as above;
// with no target it does nothing.
std::function<void(const std::vector<TranscriptionSegment>&)> shiftingSegmentCallback(
    std::function<void(const std::vector<TranscriptionSegment>&)> target, int64_t sampleOffset);

}  // namespace DovuzudUza
