#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "DovuzudUza/Core/DecodingOptions.hpp"
#include "DovuzudUza/Core/DecodingResult.hpp"
#include "DovuzudUza/Core/TranscriptionSegment.hpp"
#include "DovuzudUza/Core/TranscriptionTimings.hpp"
#include "DovuzudUza/Core/WhisperTokenizer.hpp"
#include "platform/ml/MultiArray.hpp"

namespace DovuzudUza {

// Cuts a decoded window into timed segments and adds word timings.
class SegmentSeeking {
public:
    virtual ~SegmentSeeking() = default;

    // The next seek position and the window's segments.
    virtual std::pair<int64_t, std::optional<std::vector<TranscriptionSegment>>> findSeekPointAndSegments(
        const DecodingResult& decodingResult, const DecodingOptions& options, int64_t allSegmentsCount,
        int64_t currentSeek, int64_t segmentSize, int64_t sampleRate, int64_t timeToken, int64_t specialToken,
        const WhisperTokenizer& tokenizer) = 0;

    // Throws on failure.
    virtual std::optional<std::vector<TranscriptionSegment>> addWordTimestamps(
        const std::vector<TranscriptionSegment>& segments, const platform::ml::MultiArray& alignmentWeights,
        const WhisperTokenizer& tokenizer, int64_t seek, int64_t segmentSize, const std::string& prependPunctuations,
        const std::string& appendPunctuations, float lastSpeechTimestamp, const DecodingOptions& options,
        const TranscriptionTimings& timings) = 0;
};

}  // namespace DovuzudUza
