#include "DovuzudUza/Core/SegmentSeeker.hpp"

#include <algorithm>

namespace DovuzudUza {

namespace {

constexpr float kSecondsPerTimeToken = 0.02f;

std::string segmentText(const std::vector<int64_t>& tokens, const DecodingOptions& options,
                        const WhisperTokenizer& tokenizer) {
    if (!options.skipSpecialTokens) return tokenizer.decode(tokens);
    const int64_t specialTokenBegin = tokenizer.specialTokens().specialTokenBegin;
    std::vector<int64_t> kept;
    std::copy_if(tokens.begin(), tokens.end(), std::back_inserter(kept),
                 [&](int64_t id) { return id < specialTokenBegin; });
    return tokenizer.decode(kept);
}

}  // namespace

std::pair<int64_t, std::optional<std::vector<TranscriptionSegment>>> SegmentSeeker::findSeekPointAndSegments(
    const DecodingResult& decodingResult, const DecodingOptions& options, int64_t allSegmentsCount, int64_t currentSeek,
    int64_t segmentSize, int64_t sampleRate, int64_t timeToken, int64_t, const WhisperTokenizer& tokenizer) {
    // Silence, unless the text is likely enough to keep anyway.
    if (options.noSpeechThreshold && decodingResult.noSpeechProb > *options.noSpeechThreshold &&
        !(options.logProbThreshold && decodingResult.avgLogProb > *options.logProbThreshold))
        return {currentSeek + segmentSize, std::nullopt};

    const auto& tokens = decodingResult.tokens;
    const size_t n = tokens.size();
    auto logProbs = decodingResult.tokenLogProbs;
    if (logProbs.size() < n) logProbs.resize(n);
    std::vector<bool> isTimestamp(n);
    for (size_t k = 0; k < n; ++k) isTimestamp[k] = tokens[k] >= timeToken;
    const bool singleTimestampEnding = n >= 3 && !isTimestamp[n - 3] && isTimestamp[n - 2] && !isTimestamp[n - 1];
    const bool noTimestampEnding = n >= 3 && !isTimestamp[n - 3] && !isTimestamp[n - 2] && !isTimestamp[n - 1];
    std::vector<size_t> consecutive;
    for (size_t k = 1; k < n; ++k)
        if (isTimestamp[k - 1] && isTimestamp[k]) consecutive.push_back(k);

    const float timeOffset = static_cast<float>(currentSeek) / static_cast<float>(sampleRate);
    const auto makeSegment = [&](int64_t id, float start, float end, std::vector<int64_t> sliceTokens,
                                 std::vector<std::map<int64_t, float>> sliceLogProbs) {
        TranscriptionSegment segment;
        segment.id = id;
        segment.seek = currentSeek;
        segment.start = start;
        segment.end = end;
        segment.text = segmentText(sliceTokens, options, tokenizer);
        segment.tokens = std::move(sliceTokens);
        segment.tokenLogProbs = std::move(sliceLogProbs);
        segment.temperature = decodingResult.temperature;
        segment.avgLogprob = decodingResult.avgLogProb;
        segment.compressionRatio = decodingResult.compressionRatio;
        segment.noSpeechProb = decodingResult.noSpeechProb;
        return segment;
    };

    if (consecutive.empty()) {
        // One segment for the window; "<|0.00|>" itself does not count as its end.
        std::optional<int64_t> lastTimestamp;
        for (int64_t token : tokens)
            if (token > timeToken) lastTimestamp = token;
        const float duration = lastTimestamp
                                   ? static_cast<float>(*lastTimestamp - timeToken) * kSecondsPerTimeToken
                                   : static_cast<float>(segmentSize) / static_cast<float>(sampleRate);
        std::vector<TranscriptionSegment> segments{
            makeSegment(allSegmentsCount, timeOffset, timeOffset + duration, tokens, std::move(logProbs))};
        return {currentSeek + segmentSize, std::move(segments)};
    }

    std::vector<size_t> sliceEnds = consecutive;
    if (singleTimestampEnding) {
        size_t lastTimestampIndex = 0;
        for (size_t k = 0; k < n; ++k)
            if (isTimestamp[k]) lastTimestampIndex = k;
        sliceEnds.push_back(lastTimestampIndex + 1);
    } else if (noTimestampEnding) {
        sliceEnds.push_back(n);
    }

    std::vector<TranscriptionSegment> segments;
    size_t lastSlice = 0;
    for (size_t end : sliceEnds) {
        std::vector<int64_t> sliceTokens(tokens.begin() + static_cast<std::ptrdiff_t>(lastSlice),
                                         tokens.begin() + static_cast<std::ptrdiff_t>(end));
        std::vector<std::map<int64_t, float>> sliceLogProbs(logProbs.begin() + static_cast<std::ptrdiff_t>(lastSlice),
                                                            logProbs.begin() + static_cast<std::ptrdiff_t>(end));
        std::vector<int64_t> timestamps;
        std::copy_if(sliceTokens.begin(), sliceTokens.end(), std::back_inserter(timestamps),
                     [&](int64_t id) { return id >= timeToken; });
        lastSlice = end;
        if (timestamps.empty()) continue;  // no time to give it
        const float start = timeOffset + static_cast<float>(timestamps.front() - timeToken) * kSecondsPerTimeToken;
        const float finish = timeOffset + static_cast<float>(timestamps.back() - timeToken) * kSecondsPerTimeToken;
        const auto id = allSegmentsCount + static_cast<int64_t>(segments.size());
        segments.push_back(makeSegment(id, start, finish, std::move(sliceTokens), std::move(sliceLogProbs)));
    }

    if (noTimestampEnding) return {currentSeek + segmentSize, std::move(segments)};
    const int64_t lastTimestamp = singleTimestampEnding ? tokens[lastSlice - 1] : tokens[lastSlice];
    // In float, in this order: some advances come out one sample short of index x 320.
    const float advance =
        static_cast<float>(lastTimestamp - timeToken) * kSecondsPerTimeToken * static_cast<float>(sampleRate);
    return {currentSeek + static_cast<int64_t>(advance), std::move(segments)};
}

}  // namespace DovuzudUza
