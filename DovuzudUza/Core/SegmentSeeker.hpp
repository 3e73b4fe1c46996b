#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "DovuzudUza/Core/SegmentSeeking.hpp"

namespace DovuzudUza {

// Cuts a decoded window into segments at its timestamp tokens and finds
// where the next window starts; times words from the decoder's alignment
// weights. Holds no state. Times are float seconds, one timestamp token
// being 0.02 s.
class SegmentSeeker : public SegmentSeeking {
public:
    SegmentSeeker() = default;

    // A window judged silent gives (seek + size, nothing). A window without
    // two timestamps in a row is one segment (from the window start, as long
    // as its last timestamp above "<|0.00|>" or the window) and the next
    // window follows it. Otherwise each pair of timestamps closes a segment
    // and the next window starts at the last timestamp (or after the window
    // when the tokens end without one). Results whose log-probabilities are
    // fewer than their tokens get empty maps for the rest; a slice without
    // any timestamp is left out.
    std::pair<int64_t, std::optional<std::vector<TranscriptionSegment>>> findSeekPointAndSegments(
        const DecodingResult& decodingResult, const DecodingOptions& options, int64_t allSegmentsCount,
        int64_t currentSeek, int64_t segmentSize, int64_t sampleRate, int64_t timeToken, int64_t specialToken,
        const WhisperTokenizer& tokenizer) override;

    // Word timings for the window's segments: the tokens of all segments are
    // aligned with the audio frames through the alignment weights (one row
    // per token), grouped into words, long words clamped next to sentence
    // ends, punctuation glued to its word and the words written into the
    // segments with absolute times. Throws WhisperError (segmentingFailed)
    // for weights of a shape that does not cover the tokens.
    std::optional<std::vector<TranscriptionSegment>> addWordTimestamps(
        const std::vector<TranscriptionSegment>& segments, const platform::ml::MultiArray& alignmentWeights,
        const WhisperTokenizer& tokenizer, int64_t seek, int64_t segmentSize, const std::string& prependPunctuations,
        const std::string& appendPunctuations, float lastSpeechTimestamp, const DecodingOptions& options,
        const TranscriptionTimings& timings) override;

    struct Path {
        std::vector<int64_t> textIndices;
        std::vector<int64_t> timeIndices;
        bool operator==(const Path&) const = default;
    };
    struct CostAndTrace {
        double cost = 0;
        int trace = 0;
    };
    struct DurationConstraints {
        float median = 0;
        float max = 0;
    };

    // Cheapest monotone path through a [rows, columns] matrix whose values
    // are subtracted as costs (high weights are cheap). Throws
    // WhisperError (segmentingFailed) for an array that is not two-dimensional.
    virtual Path dynamicTimeWarping(const platform::ml::MultiArray& withMatrix);
    virtual CostAndTrace minCostAndTrace(double costDiagonal, double costUp, double costLeft, double matrixValue);
    // `trace` holds (rows + 1) x (columns + 1) moves, row-major.
    virtual Path backtrace(const std::vector<int>& fromTraceMatrix, int64_t rows, int64_t columns);

    // Window-relative word timings of the tokens (one alignment row per
    // token); fewer than two words give none.
    virtual std::vector<WordTiming> findAlignment(const std::vector<int64_t>& wordTokenIds,
                                                  const platform::ml::MultiArray& alignmentWeights,
                                                  const std::vector<float>& tokenLogProbs,
                                                  const WhisperTokenizer& tokenizer, const TranscriptionTimings& timings);
    virtual DurationConstraints calculateWordDurationConstraints(const std::vector<WordTiming>& alignment);
    virtual std::vector<WordTiming> truncateLongWordsAtSentenceBoundaries(const std::vector<WordTiming>& alignment,
                                                                         float maxDuration);
    virtual std::vector<WordTiming> mergePunctuations(const std::vector<WordTiming>& alignment,
                                                      const std::string& prepended, const std::string& appended);
    virtual std::vector<TranscriptionSegment> updateSegmentsWithWordTimings(
        const std::vector<TranscriptionSegment>& segments, const std::vector<WordTiming>& mergedAlignment, int64_t seek,
        float lastSpeechTimestamp, float constrainedMedianDuration, float maxDuration,
        const WhisperTokenizer& tokenizer);
};

}  // namespace DovuzudUza
