#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace DovuzudUza {

// Which task token the decoder's prompt carries.
enum class DecodingTask { transcribe, translate };

std::string description(DecodingTask task);
const std::vector<DecodingTask>& allDecodingTasks();

// Whether long audio is first cut into chunks at silences.
enum class ChunkingStrategy { none, vad };

std::string rawValue(ChunkingStrategy strategy);
std::optional<ChunkingStrategy> chunkingStrategyFromRawValue(const std::string& text);
const std::vector<ChunkingStrategy>& allChunkingStrategies();

// Every setting of one transcription's decoding. A default-built value holds
// the defaults; `Arguments` mirrors the initializer with its three resolved
// parameters.
struct DecodingOptions {
    struct Arguments {
        bool verbose = false;
        DecodingTask task = DecodingTask::transcribe;
        std::optional<std::string> language;
        float temperature = 0.0f;
        float temperatureIncrementOnFallback = 0.2f;
        int64_t temperatureFallbackCount = 5;
        int64_t sampleLength = 224;
        int64_t topK = 5;
        bool usePrefillPrompt = true;
        std::optional<bool> detectLanguage;  // absent: !usePrefillPrompt
        bool skipSpecialTokens = false;
        bool withoutTimestamps = false;
        bool wordTimestamps = false;
        std::optional<float> maxInitialTimestamp;
        std::optional<int64_t> maxWindowSeek;
        std::vector<float> clipTimestamps;
        float windowClipTime = 1.0f;
        std::optional<std::vector<int64_t>> promptTokens;
        std::optional<std::vector<int64_t>> prefixTokens;
        bool suppressBlank = false;
        std::optional<std::vector<int64_t>> suppressTokens;  // absent: empty
        std::optional<float> compressionRatioThreshold = 2.4f;
        std::optional<float> logProbThreshold = -1.0f;
        std::optional<float> firstTokenLogProbThreshold = -1.5f;
        std::optional<float> noSpeechThreshold = 0.6f;
        std::optional<int64_t> concurrentWorkerCount;  // absent: 16
        std::optional<ChunkingStrategy> chunkingStrategy;
    };

    DecodingOptions() = default;
    explicit DecodingOptions(const Arguments& arguments);

    bool verbose = false;
    DecodingTask task = DecodingTask::transcribe;
    std::optional<std::string> language;
    float temperature = 0.0f;
    float temperatureIncrementOnFallback = 0.2f;
    int64_t temperatureFallbackCount = 5;
    int64_t sampleLength = 224;
    int64_t topK = 5;
    bool usePrefillPrompt = true;
    bool detectLanguage = false;
    bool skipSpecialTokens = false;
    bool withoutTimestamps = false;
    bool wordTimestamps = false;
    std::optional<float> maxInitialTimestamp;
    std::optional<int64_t> maxWindowSeek;
    std::vector<float> clipTimestamps;
    float windowClipTime = 1.0f;
    std::optional<std::vector<int64_t>> promptTokens;
    std::optional<std::vector<int64_t>> prefixTokens;
    bool suppressBlank = false;
    std::vector<int64_t> suppressTokens;
    std::optional<float> compressionRatioThreshold = 2.4f;
    std::optional<float> logProbThreshold = -1.0f;
    std::optional<float> firstTokenLogProbThreshold = -1.5f;
    std::optional<float> noSpeechThreshold = 0.6f;
    int64_t concurrentWorkerCount = 16;
    std::optional<ChunkingStrategy> chunkingStrategy;

    // The time-token index of `maxInitialTimestamp` (seconds / 0.02, cut
    // toward zero). Absent when unset, not finite, or out of 64-bit range,
    // so a wild value never reaches an integer conversion.
    std::optional<int64_t> maxInitialTimestampIndex() const;

    // The (start, end) sample ranges of `clipTimestamps` at 16 kHz: each time
    // times 16000 in float, rounded half away from zero; no times give one
    // clip from 0; an odd count ends its last clip at `contentFrames`. No
    // order or range is checked. A time that is no number is left out; one
    // beyond 2^62 samples is held there so later arithmetic cannot overflow.
    std::vector<std::pair<int64_t, int64_t>> prepareSeekClips(int64_t contentFrames) const;

    bool operator==(const DecodingOptions&) const = default;
};

// JSON forms. Readers throw JsonDecodingError.
void to_json(nlohmann::ordered_json& json, DecodingTask task);
void to_json(nlohmann::ordered_json& json, ChunkingStrategy strategy);
void to_json(nlohmann::ordered_json& json, const DecodingOptions& options);

DecodingTask decodingTaskFromJson(const nlohmann::json& json, const std::string& path = "");
ChunkingStrategy chunkingStrategyFromJson(const nlohmann::json& json, const std::string& path = "");
DecodingOptions decodingOptionsFromJson(const nlohmann::json& json, const std::string& path = "");

}  // namespace DovuzudUza
