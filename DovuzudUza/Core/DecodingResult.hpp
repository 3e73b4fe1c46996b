#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DovuzudUza/Core/DecodingOptions.hpp"
#include "DovuzudUza/Core/TranscriptionTimings.hpp"
#include "platform/ml/MultiArray.hpp"

namespace DovuzudUza {

// A snapshot of the decoder's key/value cache and alignment weights. Copies
// share the arrays.
struct DecodingCache {
    std::shared_ptr<platform::ml::MultiArray> keyCache;
    std::shared_ptr<platform::ml::MultiArray> valueCache;
    std::shared_ptr<platform::ml::MultiArray> alignmentWeights;
};

// The verdict on a decoded window.
struct DecodingFallback {
    bool needsFallback = false;
    std::string fallbackReason;

    // The first matching rule decides: a too-unlikely first token; silence
    // (no fallback); too compressible text; too low average log probability.
    // Nothing when no rule matches. Unset thresholds and NaN never fire.
    static std::optional<DecodingFallback> verdict(const DecodingOptions& options, bool isFirstTokenLogProbTooLow,
                                                   float noSpeechProb, float compressionRatio, float avgLogProb);

    bool operator==(const DecodingFallback&) const = default;
};

// Everything one window's decode yields.
struct DecodingResult {
    std::string language;
    std::map<std::string, float> languageProbs;
    std::vector<int64_t> tokens;
    std::vector<std::map<int64_t, float>> tokenLogProbs;
    std::string text;
    float avgLogProb = 0;
    float noSpeechProb = 0;
    float temperature = 0;
    float compressionRatio = 0;
    std::optional<DecodingCache> cache;
    std::optional<TranscriptionTimings> timings;
    std::optional<DecodingFallback> fallback;

    static DecodingResult emptyResults() { return {}; }
};

}  // namespace DovuzudUza
