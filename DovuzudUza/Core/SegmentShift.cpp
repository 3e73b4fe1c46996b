#include "DovuzudUza/Core/SegmentShift.hpp"

namespace DovuzudUza {

std::vector<TranscriptionSegment> shiftedSegments(std::vector<TranscriptionSegment> segments, int64_t sampleOffset) {
    const float seconds = static_cast<float>(sampleOffset) / 16000.0f;
    for (auto& segment : segments) {
        segment.seek += sampleOffset;
        segment.start += seconds;
        segment.end += seconds;
        if (segment.words) {
            for (auto& word : *segment.words) {
                word.start += seconds;
                word.end += seconds;
            }
        }
    }
    return segments;
}

std::function<void(const std::vector<TranscriptionSegment>&)> shiftingSegmentCallback(
    std::function<void(const std::vector<TranscriptionSegment>&)> target, int64_t sampleOffset) {
    return [target = std::move(target), sampleOffset](const std::vector<TranscriptionSegment>& segments) {
        if (target) target(shiftedSegments(segments, sampleOffset));
    };
}

}  // namespace DovuzudUza
