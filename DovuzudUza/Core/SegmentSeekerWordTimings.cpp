#include <algorithm>
#include <cmath>
#include <limits>

#include "DovuzudUza/Core/EngineLog.hpp"
#include "DovuzudUza/Core/SegmentSeeker.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "ZezeziCore/External/Hub/Extensions/NumberExtensions.hpp"
#include "ZezeziCore/MultiArrayExtensions.hpp"
#include "platform/foundation/Trim.hpp"

namespace DovuzudUza {

using platform::ml::DataType;
using platform::ml::MultiArray;

namespace {

constexpr float kSecondsPerFrame = 0.02f;
const char* const kSentenceEnds[] = {".", "\u3002", "!", "\uff01", "?", "\uff1f"};

bool isSentenceEnd(const std::string& word) {
    return std::any_of(std::begin(kSentenceEnds), std::end(kSentenceEnds), [&](const char* mark) { return word == mark; });
}

bool contains(const std::string& set, const std::string& text) { return set.find(text) != std::string::npos; }

bool beginsWithWhitespace(const std::string& text) {
    return !text.empty() && platform::trimmingLeadingWhitespaceAndNewlines(text).size() != text.size();
}

bool endsWithSpace(const std::string& text) { return !text.empty() && text.back() == ' '; }

float roundedToHundredths(float value) { return ZezeziCore::rounded(value, 2); }

std::vector<int64_t> belowSpecial(const std::vector<int64_t>& tokens, int64_t specialTokenBegin) {
    std::vector<int64_t> kept;
    std::copy_if(tokens.begin(), tokens.end(), std::back_inserter(kept), [&](int64_t id) { return id < specialTokenBegin; });
    return kept;
}

WordTiming joined(const WordTiming& first, const WordTiming& second, const WordTiming& timing) {
    WordTiming word = timing;
    word.word = first.word + second.word;
    word.tokens = first.tokens;
    word.tokens.insert(word.tokens.end(), second.tokens.begin(), second.tokens.end());
    return word;
}

}  // namespace

std::optional<std::vector<TranscriptionSegment>> SegmentSeeker::addWordTimestamps(
    const std::vector<TranscriptionSegment>& segments, const MultiArray& alignmentWeights,
    const WhisperTokenizer& tokenizer, int64_t seek, int64_t, const std::string& prependPunctuations,
    const std::string& appendPunctuations, float lastSpeechTimestamp, const DecodingOptions&,
    const TranscriptionTimings& timings) {
    std::vector<int64_t> wordTokenIds;
    std::vector<float> tokenLogProbs;
    for (const auto& segment : segments) {
        for (size_t i = 0; i < segment.tokens.size(); ++i) {
            const int64_t token = segment.tokens[i];
            wordTokenIds.push_back(token);
            // A token without its own log-probability gets 0, so every later
            // token keeps its position.
            float logProb = 0;
            if (i < segment.tokenLogProbs.size()) {
                const auto found = segment.tokenLogProbs[i].find(token);
                if (found != segment.tokenLogProbs[i].end()) logProb = found->second;
            }
            tokenLogProbs.push_back(logProb);
        }
    }

    const auto& shape = alignmentWeights.shape();
    if (shape.empty()) throw WhisperError::segmentingFailed("Invalid shape in alignmentWeights");
    const int64_t columns = shape.back();
    const auto rows = static_cast<int64_t>(wordTokenIds.size());
    // Row r of the weights belongs to token r: the weights must hold a row for every token.
    if (shape.size() != 2 || shape[0] < rows || alignmentWeights.dataType() != DataType::float16)
        throw WhisperError::segmentingFailed("Invalid shape in alignmentWeights");
    auto matrix = ZezeziCore::makeMultiArray({rows, columns}, DataType::float16, ZezeziCore::Float16::fromFloat(0));
    const auto* in = alignmentWeights.data<uint16_t>();
    auto* out = matrix->data<uint16_t>();
    for (int64_t r = 0; r < rows; ++r)
        for (int64_t c = 0; c < columns; ++c) out[r * columns + c] = in[alignmentWeights.offset({r, c})];
    engine_log::debug("Alignment weights shape: [" + std::to_string(rows) + ", " + std::to_string(columns) + "]");

    const auto alignment = findAlignment(wordTokenIds, *matrix, tokenLogProbs, tokenizer, timings);
    const auto constraints = calculateWordDurationConstraints(alignment);
    const auto truncated = truncateLongWordsAtSentenceBoundaries(alignment, constraints.max);
    const auto merged = truncated.empty() ? truncated : mergePunctuations(truncated, prependPunctuations, appendPunctuations);
    return updateSegmentsWithWordTimings(segments, merged, seek, lastSpeechTimestamp, constraints.median,
                                         constraints.max, tokenizer);
}

std::vector<WordTiming> SegmentSeeker::findAlignment(const std::vector<int64_t>& wordTokenIds,
                                                     const MultiArray& alignmentWeights,
                                                     const std::vector<float>& tokenLogProbs,
                                                     const WhisperTokenizer& tokenizer, const TranscriptionTimings&) {
    if (alignmentWeights.count() == 0) return {};  // no rows or no frames: nothing to align
    const auto path = dynamicTimeWarping(alignmentWeights);
    const auto split = tokenizer.splitToWordTokens(wordTokenIds);
    if (split.words.size() < 2) return {};

    std::vector<float> startTimes{0.0f};
    std::vector<float> endTimes;
    if (!path.textIndices.empty()) {
        int64_t lastText = path.textIndices.front();
        for (size_t k = 1; k < path.textIndices.size(); ++k) {
            if (path.textIndices[k] == lastText) continue;
            lastText = path.textIndices[k];
            const float time = static_cast<float>(path.timeIndices[k]) * kSecondsPerFrame;
            startTimes.push_back(time);
            endTimes.push_back(time);
        }
    }
    endTimes.push_back(path.timeIndices.empty() ? 30.0f : static_cast<float>(path.timeIndices.back()) * kSecondsPerFrame);

    std::vector<WordTiming> words;
    size_t q = 0;
    for (size_t w = 0; w < split.words.size() && w < split.wordTokens.size(); ++w) {
        const size_t n = split.wordTokens[w].size();
        if (n == 0) continue;
        if (q + n > startTimes.size() || q + n > endTimes.size() || q + n > tokenLogProbs.size())
            throw WhisperError::segmentingFailed("Word split does not match the alignment weights");
        float sum = 0;
        for (size_t i = q; i < q + n; ++i) sum += tokenLogProbs[i];
        words.push_back(WordTiming{split.words[w], split.wordTokens[w], startTimes[q], endTimes[q + n - 1],
                                   std::exp(sum / static_cast<float>(n))});
        q += n;
    }
    return words;
}

SegmentSeeker::Path SegmentSeeker::dynamicTimeWarping(const MultiArray& withMatrix) {
    if (withMatrix.shape().size() != 2) throw WhisperError::segmentingFailed("Invalid alignment matrix shape");
    const int64_t N = withMatrix.shape()[0], M = withMatrix.shape()[1];
    const int64_t width = M + 1;
    std::vector<double> cost(static_cast<size_t>((N + 1) * width), std::numeric_limits<double>::infinity());
    std::vector<int> trace(static_cast<size_t>((N + 1) * width), -1);
    cost[0] = 0;
    for (int64_t j = 1; j <= M; ++j) trace[static_cast<size_t>(j)] = 2;
    for (int64_t i = 1; i <= N; ++i) trace[static_cast<size_t>(i * width)] = 1;
    for (int64_t i = 1; i <= N; ++i) {
        for (int64_t j = 1; j <= M; ++j) {
            const double v = withMatrix.value({i - 1, j - 1});
            const auto cell = minCostAndTrace(cost[static_cast<size_t>((i - 1) * width + j - 1)],
                                              cost[static_cast<size_t>((i - 1) * width + j)],
                                              cost[static_cast<size_t>(i * width + j - 1)], v);
            cost[static_cast<size_t>(i * width + j)] = cell.cost;
            trace[static_cast<size_t>(i * width + j)] = cell.trace;
        }
    }
    return backtrace(trace, N, M);
}

SegmentSeeker::CostAndTrace SegmentSeeker::minCostAndTrace(double costDiagonal, double costUp, double costLeft,
                                                           double matrixValue) {
    const double c0 = costDiagonal - matrixValue;
    const double c1 = costUp - matrixValue;
    const double c2 = costLeft - matrixValue;
    if (c0 < c1 && c0 < c2) return {c0, 0};
    if (c1 >= c0) return {c2, 2};
    if (c1 < c2) return {c1, 1};
    return {c2, 2};
}

SegmentSeeker::Path SegmentSeeker::backtrace(const std::vector<int>& fromTraceMatrix, int64_t rows, int64_t columns) {
    Path path;
    const int64_t width = columns + 1;
    if (static_cast<int64_t>(fromTraceMatrix.size()) < (rows + 1) * width) return path;
    int64_t i = rows, j = columns;
    while (i > 0 || j > 0) {
        path.textIndices.push_back(i - 1);
        path.timeIndices.push_back(j - 1);
        switch (fromTraceMatrix[static_cast<size_t>(i * width + j)]) {
            case 0: --i; --j; break;
            case 1: --i; break;
            case 2: --j; break;
            default: i = j = 0; break;  // an unset cell: no way on
        }
    }
    std::reverse(path.textIndices.begin(), path.textIndices.end());
    std::reverse(path.timeIndices.begin(), path.timeIndices.end());
    return path;
}

SegmentSeeker::DurationConstraints SegmentSeeker::calculateWordDurationConstraints(const std::vector<WordTiming>& alignment) {
    std::vector<float> durations;
    for (const auto& word : alignment)
        if (word.end - word.start > 0) durations.push_back(word.end - word.start);
    std::sort(durations.begin(), durations.end());
    float median = durations.empty() ? 0.0f : durations[durations.size() / 2];
    median = std::min(median, 0.7f);
    return {median, 2 * median};
}

std::vector<WordTiming> SegmentSeeker::truncateLongWordsAtSentenceBoundaries(const std::vector<WordTiming>& alignment,
                                                                            float maxDuration) {
    auto words = alignment;
    if (words.size() < 2) return words;
    for (size_t i = 1; i < words.size(); ++i) {
        if (words[i].end - words[i].start <= maxDuration) continue;
        if (isSentenceEnd(words[i].word))
            words[i].end = words[i].start + maxDuration;
        else if (isSentenceEnd(words[i - 1].word))
            words[i].start = words[i].end - maxDuration;
    }
    return words;
}

std::vector<WordTiming> SegmentSeeker::mergePunctuations(const std::vector<WordTiming>& alignment,
                                                         const std::string& prepended, const std::string& appended) {
    if (alignment.empty()) return {};
    using platform::trimmingWhitespaceAndNewlines;

    // Opening marks join the word after them.
    std::vector<WordTiming> leading;
    if (!contains(prepended, trimmingWhitespaceAndNewlines(alignment[0].word))) leading.push_back(alignment[0]);
    for (size_t i = 1; i < alignment.size(); ++i) {
        const auto& previous = alignment[i - 1];
        const auto& current = alignment[i];
        if (beginsWithWhitespace(previous.word) && contains(prepended, trimmingWhitespaceAndNewlines(previous.word))) {
            const WordTiming merged = joined(leading.empty() ? previous : leading.back(), current, current);
            if (leading.empty())
                leading.push_back(merged);
            else
                leading.back() = merged;
        } else {
            leading.push_back(current);
        }
    }
    if (leading.empty()) return {};  // only a leading mark was there

    // Closing marks join the word before them.
    std::vector<WordTiming> trailing{leading[0]};
    for (size_t m = 0; m + 1 < leading.size(); ++m) {
        const auto& previous = leading[m];
        const auto& next = leading[m + 1];
        if (endsWithSpace(previous.word)) {
            trailing.push_back(next);
        } else if (contains(appended, trimmingWhitespaceAndNewlines(next.word))) {
            trailing.back() = joined(trailing.back(), next, trailing.back());
        } else {
            trailing.push_back(next);
        }
    }

    // A mark that stayed on its own is dropped.
    std::vector<WordTiming> words;
    for (const auto& word : trailing)
        if (!word.word.empty() && !contains(appended, word.word) && !contains(prepended, word.word)) words.push_back(word);
    return words;
}

std::vector<TranscriptionSegment> SegmentSeeker::updateSegmentsWithWordTimings(
    const std::vector<TranscriptionSegment>& segments, const std::vector<WordTiming>& mergedAlignment, int64_t seek,
    float lastSpeechTimestamp, float constrainedMedianDuration, float maxDuration, const WhisperTokenizer& tokenizer) {
    const int64_t specialTokenBegin = tokenizer.specialTokens().specialTokenBegin;
    const float median = constrainedMedianDuration;
    const float windowStart = static_cast<float>(seek) / 16000.0f;
    std::vector<TranscriptionSegment> updated;
    size_t next = 0;
    for (auto segment : segments) {
        const auto textTokens = belowSpecial(segment.tokens, specialTokenBegin);
        size_t covered = 0;
        std::vector<WordTiming> words;
        while (covered < textTokens.size() && next < mergedAlignment.size()) {
            const auto& timing = mergedAlignment[next++];
            const auto wordTextTokens = belowSpecial(timing.tokens, specialTokenBegin);
            if (wordTextTokens.empty()) continue;
            const std::string text =
                wordTextTokens.size() != timing.tokens.size() ? tokenizer.decode(wordTextTokens) : timing.word;
            float start = roundedToHundredths(windowStart + timing.start);
            const float end = roundedToHundredths(windowStart + timing.end);
            if (end - start < 0.25f * median) {
                std::optional<float> previousEnd;
                if (!words.empty())
                    previousEnd = words.back().end;
                else if (!updated.empty())
                    previousEnd = updated.back().end;
                if (previousEnd && *previousEnd < start)
                    start = roundedToHundredths(start - std::min(start - *previousEnd, 0.5f * median));
            }
            words.push_back(WordTiming{text, wordTextTokens, start, end, roundedToHundredths(timing.probability)});
            covered += wordTextTokens.size();
        }

        if (!words.empty()) {
            auto& first = words.front();
            if (first.end - lastSpeechTimestamp > 4 * median &&
                (first.end - first.start > maxDuration ||
                 (words.size() > 1 && words[1].end - first.start > 2 * maxDuration))) {
                if (words.size() > 1 && words[1].end - words[1].start > maxDuration) {
                    const float boundary = std::max(words[1].end / 2, words[1].end - maxDuration);
                    first.end = boundary;
                    words[1].start = boundary;
                }
                first.start = std::max(first.end - maxDuration, lastSpeechTimestamp);
            }
            if (segment.start < first.end && segment.start - 0.5f > first.start)
                first.start = std::max(0.0f, std::min(first.end - median, segment.start));
            else
                segment.start = first.start;
            auto& last = words.back();
            if (last.start < segment.end && segment.end + 0.5f < last.end)
                last.end = std::max(last.start + median, segment.end);
            else
                segment.end = last.end;
            lastSpeechTimestamp = segment.end;
        }
        segment.words = std::move(words);
        updated.push_back(std::move(segment));
    }
    return updated;
}

}  // namespace DovuzudUza
