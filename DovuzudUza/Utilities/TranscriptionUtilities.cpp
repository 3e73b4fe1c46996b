#include "DovuzudUza/Utilities/TranscriptionUtilities.hpp"

#include <algorithm>
#include <limits>

#include "DovuzudUza/Core/Constants.hpp"
#include "DovuzudUza/Utilities/EngineExtensions.hpp"
#include "platform/foundation/NumberFormat.hpp"

namespace DovuzudUza {

namespace {

void shiftTimes(TranscriptionSegment& segment, float seconds) {
    segment.start += seconds;
    segment.end += seconds;
    if (segment.words) {
        for (auto& word : *segment.words) {
            word.start += seconds;
            word.end += seconds;
        }
    }
}

size_t commonPrefixLength(const std::vector<WordTiming>& first, const std::vector<WordTiming>& second) {
    size_t n = 0;
    while (n < first.size() && n < second.size() && normalized(first[n].word) == normalized(second[n].word)) ++n;
    return n;
}

TranscriptionTimings mergedTimings(const std::vector<TranscriptionTimings>& all) {
    TranscriptionTimings merged = TranscriptionTimings::make({});
    merged.inputAudioSeconds = 0;
    if (all.empty()) {
        merged.pipelineStart = merged.firstTokenTime = 0;
        return merged;
    }
    merged.pipelineStart = merged.firstTokenTime = std::numeric_limits<double>::max();
    double pipelineSum = 0, latestEnd = -std::numeric_limits<double>::max();
    for (const auto& t : all) {
        merged.pipelineStart = std::min(merged.pipelineStart, t.pipelineStart);
        merged.firstTokenTime = std::min(merged.firstTokenTime, t.firstTokenTime);
        pipelineSum += t.fullPipeline;
        latestEnd = std::max(latestEnd, t.pipelineStart + t.fullPipeline);
        for (double TranscriptionTimings::*field :
             {&TranscriptionTimings::modelLoading, &TranscriptionTimings::prewarmLoadTime,
              &TranscriptionTimings::encoderLoadTime, &TranscriptionTimings::decoderLoadTime,
              &TranscriptionTimings::tokenizerLoadTime})
            merged.*field = std::max(merged.*field, t.*field);
        for (double TranscriptionTimings::*field :
             {&TranscriptionTimings::inputAudioSeconds, &TranscriptionTimings::audioLoading,
              &TranscriptionTimings::audioProcessing, &TranscriptionTimings::logmels, &TranscriptionTimings::encoding,
              &TranscriptionTimings::decodingInit, &TranscriptionTimings::decodingLoop,
              &TranscriptionTimings::decodingPredictions, &TranscriptionTimings::decodingFiltering,
              &TranscriptionTimings::decodingSampling, &TranscriptionTimings::decodingFallback,
              &TranscriptionTimings::decodingWindowing, &TranscriptionTimings::decodingKvCaching,
              &TranscriptionTimings::decodingWordTimestamps, &TranscriptionTimings::decodingNonPrediction,
              &TranscriptionTimings::totalAudioProcessingRuns, &TranscriptionTimings::totalLogmelRuns,
              &TranscriptionTimings::totalEncodingRuns, &TranscriptionTimings::totalDecodingLoops,
              &TranscriptionTimings::totalKVUpdateRuns, &TranscriptionTimings::totalTimestampAlignmentRuns,
              &TranscriptionTimings::totalDecodingFallbacks, &TranscriptionTimings::totalDecodingWindows})
            merged.*field += t.*field;
    }
    merged.fullPipeline = std::min(pipelineSum, latestEnd - merged.pipelineStart);
    merged.encoderSpecializationTime = merged.decoderSpecializationTime = 0;
    return merged;
}

}  // namespace

TranscriptionSegment TranscriptionUtilities::updateSegmentTimings(TranscriptionSegment segment, float seekTime) {
    segment.seek += static_cast<int64_t>(seekTime * static_cast<float>(Constants::sampleRate));
    shiftTimes(segment, seekTime);
    return segment;
}

TranscriptionSegment TranscriptionUtilities::updateSegmentTimings(TranscriptionSegment segment, int64_t seekOffsetIndex) {
    segment.seek += seekOffsetIndex;
    shiftTimes(segment, static_cast<float>(seekOffsetIndex) / static_cast<float>(Constants::sampleRate));
    return segment;
}

std::vector<std::string> TranscriptionUtilities::formatSegments(const std::vector<TranscriptionSegment>& segments,
                                                                bool withTimestamps) {
    std::vector<std::string> lines;
    for (const auto& segment : segments) {
        if (!withTimestamps) {
            lines.push_back(segment.text);
            continue;
        }
        std::string line(1, '[');
        line += platform::formatFixed(segment.start, 2);
        line += " --> ";
        line += platform::formatFixed(segment.end, 2);
        line += "] ";
        line += segment.text;
        lines.push_back(std::move(line));
    }
    return lines;
}

std::vector<WordTiming> TranscriptionUtilities::findLongestCommonPrefix(const std::vector<WordTiming>& first,
                                                                        const std::vector<WordTiming>& second) {
    return {second.begin(), second.begin() + static_cast<std::ptrdiff_t>(commonPrefixLength(first, second))};
}

std::vector<WordTiming> TranscriptionUtilities::findLongestDifferentSuffix(const std::vector<WordTiming>& first,
                                                                           const std::vector<WordTiming>& second) {
    return {second.begin() + static_cast<std::ptrdiff_t>(commonPrefixLength(first, second)), second.end()};
}

std::shared_ptr<TranscriptionResult> TranscriptionUtilities::mergeTranscriptionResults(
    const std::vector<std::shared_ptr<TranscriptionResult>>& results,
    const std::optional<std::vector<WordTiming>>& confirmedWords) {
    std::string text;
    if (confirmedWords) {
        for (const auto& word : *confirmedWords) text += word.word;
    } else {
        for (size_t i = 0; i < results.size(); ++i) {
            if (i) text += ' ';
            if (results[i]) text += results[i]->text();
        }
    }

    std::vector<TranscriptionSegment> segments;
    std::vector<TranscriptionTimings> timings;
    std::optional<std::string> language;
    for (const auto& result : results) {
        if (!result) continue;
        for (auto segment : result->segments()) {
            segment.id = static_cast<int64_t>(segments.size());
            segments.push_back(std::move(segment));
        }
        if (!language) language = result->language();
        timings.push_back(result->timings());
    }
    return std::make_shared<TranscriptionResult>(std::move(text), std::move(segments),
                                                 language.value_or(std::string(Constants::defaultLanguageCode)),
                                                 mergedTimings(timings), std::nullopt);
}

}  // namespace DovuzudUza
