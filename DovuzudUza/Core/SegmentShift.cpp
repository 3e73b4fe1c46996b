#include "DovuzudUza/Core/SegmentShift.hpp"

#include "DovuzudUza/Utilities/TranscriptionUtilities.hpp"

namespace DovuzudUza {

std::vector<TranscriptionSegment> shiftedSegments(std::vector<TranscriptionSegment> segments, int64_t sampleOffset) {
    for (auto& segment : segments) segment = TranscriptionUtilities::updateSegmentTimings(std::move(segment), sampleOffset);
    return segments;
}

std::function<void(const std::vector<TranscriptionSegment>&)> shiftingSegmentCallback(
    std::function<void(const std::vector<TranscriptionSegment>&)> target, int64_t sampleOffset) {
    return [target = std::move(target), sampleOffset](const std::vector<TranscriptionSegment>& segments) {
        if (target) target(shiftedSegments(segments, sampleOffset));
    };
}

}  // namespace DovuzudUza
