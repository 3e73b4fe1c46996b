#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DovuzudUza/Core/TranscriptionResult.hpp"

namespace DovuzudUza {

// Operations on transcription results for the engine's users: shifting
// segments onto a longer timeline, printing them, comparing word lists and
// merging the results of separately transcribed pieces. 16 kHz throughout.
struct TranscriptionUtilities {
    // Moves the segment and its words by `seekTime` seconds; the seek moves
    // by seekTime x 16000 samples (float, cut toward zero).
    static TranscriptionSegment updateSegmentTimings(TranscriptionSegment segment, float seekTime);
    // Moves the seek by the samples and the times by samples / 16000.
    static TranscriptionSegment updateSegmentTimings(TranscriptionSegment segment, int64_t seekOffsetIndex);

    // "[0.00 --> 2.40] text" with timestamps, else the text alone.
    static std::vector<std::string> formatSegments(const std::vector<TranscriptionSegment>& segments,
                                                   bool withTimestamps = false);

    // The second list's leading words whose normalised texts match the first's.
    static std::vector<WordTiming> findLongestCommonPrefix(const std::vector<WordTiming>& first,
                                                           const std::vector<WordTiming>& second);
    // The second list after that common prefix.
    static std::vector<WordTiming> findLongestDifferentSuffix(const std::vector<WordTiming>& first,
                                                              const std::vector<WordTiming>& second);

    // One result from several (null = a piece that gave none): the text of
    // the confirmed words, or the texts joined by spaces; the segments
    // renumbered in order; the first language ("en" without any); timings
    // summed, with the earliest starts, the longest load times and a full
    // pipeline no longer than the span the pieces covered. The inputs are
    // not changed.
    static std::shared_ptr<TranscriptionResult> mergeTranscriptionResults(
        const std::vector<std::shared_ptr<TranscriptionResult>>& results,
        const std::optional<std::vector<WordTiming>>& confirmedWords = std::nullopt);
};

}  // namespace DovuzudUza
