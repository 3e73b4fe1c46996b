#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace DovuzudUza {

// One timed word.
struct WordTiming {
    std::string word;
    std::vector<int64_t> tokens;
    float start = 0;
    float end = 0;
    float probability = 0;

    float duration() const { return end - start; }
    bool operator==(const WordTiming&) const = default;
};

// One timed stretch of text.
struct TranscriptionSegment {
    int64_t id = 0;
    int64_t seek = 0;
    float start = 0;
    float end = 0;
    std::string text;
    std::vector<int64_t> tokens;
    std::vector<std::map<int64_t, float>> tokenLogProbs;
    float temperature = 0;
    float avgLogprob = 0;
    float compressionRatio = 0;
    float noSpeechProb = 0;
    std::optional<std::vector<WordTiming>> words;

    float duration() const { return end - start; }
    bool operator==(const TranscriptionSegment&) const = default;
};

void to_json(nlohmann::ordered_json& json, const WordTiming& word);
void to_json(nlohmann::ordered_json& json, const TranscriptionSegment& segment);
WordTiming wordTimingFromJson(const nlohmann::json& json, const std::string& path = "");
TranscriptionSegment transcriptionSegmentFromJson(const nlohmann::json& json, const std::string& path = "");

}  // namespace DovuzudUza

template <>
struct std::hash<DovuzudUza::WordTiming> {
    size_t operator()(const DovuzudUza::WordTiming& word) const noexcept;
};
template <>
struct std::hash<DovuzudUza::TranscriptionSegment> {
    size_t operator()(const DovuzudUza::TranscriptionSegment& segment) const noexcept;
};
