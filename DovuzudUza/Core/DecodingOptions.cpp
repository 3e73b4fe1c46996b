#include "DovuzudUza/Core/DecodingOptions.hpp"

#include <algorithm>
#include <cmath>

#include "DovuzudUza/Core/JsonCoding.hpp"

namespace DovuzudUza {

using namespace json_coding;

std::string description(DecodingTask task) {
    return task == DecodingTask::transcribe ? "transcribe" : "translate";
}

const std::vector<DecodingTask>& allDecodingTasks() {
    static const std::vector<DecodingTask> all{DecodingTask::transcribe, DecodingTask::translate};
    return all;
}

std::string rawValue(ChunkingStrategy strategy) {
    return strategy == ChunkingStrategy::none ? "none" : "vad";
}

std::optional<ChunkingStrategy> chunkingStrategyFromRawValue(const std::string& text) {
    if (text == "none") return ChunkingStrategy::none;
    if (text == "vad") return ChunkingStrategy::vad;
    return std::nullopt;
}

const std::vector<ChunkingStrategy>& allChunkingStrategies() {
    static const std::vector<ChunkingStrategy> all{ChunkingStrategy::none, ChunkingStrategy::vad};
    return all;
}

DecodingOptions::DecodingOptions(const Arguments& a)
    : verbose(a.verbose),
      task(a.task),
      language(a.language),
      temperature(a.temperature),
      temperatureIncrementOnFallback(a.temperatureIncrementOnFallback),
      temperatureFallbackCount(a.temperatureFallbackCount),
      sampleLength(a.sampleLength),
      topK(a.topK),
      usePrefillPrompt(a.usePrefillPrompt),
      detectLanguage(a.detectLanguage.value_or(!a.usePrefillPrompt)),
      skipSpecialTokens(a.skipSpecialTokens),
      withoutTimestamps(a.withoutTimestamps),
      wordTimestamps(a.wordTimestamps),
      maxInitialTimestamp(a.maxInitialTimestamp),
      maxWindowSeek(a.maxWindowSeek),
      clipTimestamps(a.clipTimestamps),
      windowClipTime(a.windowClipTime),
      promptTokens(a.promptTokens),
      prefixTokens(a.prefixTokens),
      suppressBlank(a.suppressBlank),
      suppressTokens(a.suppressTokens.value_or(std::vector<int64_t>{})),
      compressionRatioThreshold(a.compressionRatioThreshold),
      logProbThreshold(a.logProbThreshold),
      firstTokenLogProbThreshold(a.firstTokenLogProbThreshold),
      noSpeechThreshold(a.noSpeechThreshold),
      concurrentWorkerCount(a.concurrentWorkerCount.value_or(16)),
      chunkingStrategy(a.chunkingStrategy) {}

std::optional<int64_t> DecodingOptions::maxInitialTimestampIndex() const {
    if (!maxInitialTimestamp) return std::nullopt;
    double quotient = static_cast<double>(*maxInitialTimestamp / 0.02f);
    if (!std::isfinite(quotient)) return std::nullopt;
    double cut = std::trunc(quotient);
    // 2^63 is exactly representable; anything at or past it does not fit.
    if (cut >= 9223372036854775808.0 || cut < -9223372036854775808.0) return std::nullopt;
    return static_cast<int64_t>(cut);
}

void to_json(nlohmann::ordered_json& json, DecodingTask task) {
    json = nlohmann::ordered_json::object();
    json[description(task)] = nlohmann::ordered_json::object();
}

void to_json(nlohmann::ordered_json& json, ChunkingStrategy strategy) { json = rawValue(strategy); }

namespace {
OrderedJson floatList(const std::vector<float>& values) {
    OrderedJson list = OrderedJson::array();
    for (float v : values) list.push_back(floatValue(v));
    return list;
}
}  // namespace

void to_json(nlohmann::ordered_json& json, const DecodingOptions& o) {
    json = OrderedJson::object();
    json["verbose"] = o.verbose;
    json["task"] = o.task;
    if (o.language) json["language"] = *o.language;
    json["temperature"] = floatValue(o.temperature);
    json["temperatureIncrementOnFallback"] = floatValue(o.temperatureIncrementOnFallback);
    json["temperatureFallbackCount"] = o.temperatureFallbackCount;
    json["sampleLength"] = o.sampleLength;
    json["topK"] = o.topK;
    json["usePrefillPrompt"] = o.usePrefillPrompt;
    json["detectLanguage"] = o.detectLanguage;
    json["skipSpecialTokens"] = o.skipSpecialTokens;
    json["withoutTimestamps"] = o.withoutTimestamps;
    json["wordTimestamps"] = o.wordTimestamps;
    if (o.maxInitialTimestamp) json["maxInitialTimestamp"] = floatValue(*o.maxInitialTimestamp);
    if (o.maxWindowSeek) json["maxWindowSeek"] = *o.maxWindowSeek;
    json["clipTimestamps"] = floatList(o.clipTimestamps);
    json["windowClipTime"] = floatValue(o.windowClipTime);
    if (o.promptTokens) json["promptTokens"] = *o.promptTokens;
    if (o.prefixTokens) json["prefixTokens"] = *o.prefixTokens;
    json["suppressBlank"] = o.suppressBlank;
    json["suppressTokens"] = o.suppressTokens;
    if (o.compressionRatioThreshold)
        json["compressionRatioThreshold"] = floatValue(*o.compressionRatioThreshold);
    if (o.logProbThreshold) json["logProbThreshold"] = floatValue(*o.logProbThreshold);
    if (o.firstTokenLogProbThreshold)
        json["firstTokenLogProbThreshold"] = floatValue(*o.firstTokenLogProbThreshold);
    if (o.noSpeechThreshold) json["noSpeechThreshold"] = floatValue(*o.noSpeechThreshold);
    json["concurrentWorkerCount"] = o.concurrentWorkerCount;
    if (o.chunkingStrategy) json["chunkingStrategy"] = *o.chunkingStrategy;
}

DecodingTask decodingTaskFromJson(const nlohmann::json& json, const std::string& path) {
    requireObject(json, path);
    std::optional<DecodingTask> found;
    int count = 0;
    for (DecodingTask task : allDecodingTasks()) {
        if (json.contains(description(task))) {
            found = task;
            ++count;
        }
    }
    if (count != 1)
        throw JsonDecodingError(JsonDecodingError::Kind::typeMismatch, path,
                                "Invalid number of keys found, expected one.");
    requireObject(json.at(description(*found)), child(path, description(*found)));
    return *found;
}

ChunkingStrategy chunkingStrategyFromJson(const nlohmann::json& json, const std::string& path) {
    std::string text = readString(json, path);
    auto strategy = chunkingStrategyFromRawValue(text);
    if (!strategy)
        throw JsonDecodingError(JsonDecodingError::Kind::dataCorrupted, path,
                                "Cannot initialize ChunkingStrategy from invalid String value " + text);
    return *strategy;
}

DecodingOptions decodingOptionsFromJson(const nlohmann::json& json, const std::string& path) {
    requireObject(json, path);
    DecodingOptions o;
    auto req = [&](const char* key) -> const Json& { return require(json, key, path); };
    auto at = [&](const char* key) { return child(path, key); };
    auto opt = [&](const char* key) { return optional(json, key); };

    o.verbose = readBool(req("verbose"), at("verbose"));
    o.task = decodingTaskFromJson(req("task"), at("task"));
    if (auto v = opt("language")) o.language = readString(*v, at("language"));
    o.temperature = readFloat(req("temperature"), at("temperature"));
    o.temperatureIncrementOnFallback =
        readFloat(req("temperatureIncrementOnFallback"), at("temperatureIncrementOnFallback"));
    o.temperatureFallbackCount = readInt(req("temperatureFallbackCount"), at("temperatureFallbackCount"));
    o.sampleLength = readInt(req("sampleLength"), at("sampleLength"));
    o.topK = readInt(req("topK"), at("topK"));
    o.usePrefillPrompt = readBool(req("usePrefillPrompt"), at("usePrefillPrompt"));
    o.detectLanguage = readBool(req("detectLanguage"), at("detectLanguage"));
    o.skipSpecialTokens = readBool(req("skipSpecialTokens"), at("skipSpecialTokens"));
    o.withoutTimestamps = readBool(req("withoutTimestamps"), at("withoutTimestamps"));
    o.wordTimestamps = readBool(req("wordTimestamps"), at("wordTimestamps"));
    if (auto v = opt("maxInitialTimestamp")) o.maxInitialTimestamp = readFloat(*v, at("maxInitialTimestamp"));
    if (auto v = opt("maxWindowSeek")) o.maxWindowSeek = readInt(*v, at("maxWindowSeek"));
    o.clipTimestamps = readFloatList(req("clipTimestamps"), at("clipTimestamps"));
    o.windowClipTime = readFloat(req("windowClipTime"), at("windowClipTime"));
    if (auto v = opt("promptTokens")) o.promptTokens = readIntList(*v, at("promptTokens"));
    if (auto v = opt("prefixTokens")) o.prefixTokens = readIntList(*v, at("prefixTokens"));
    o.suppressBlank = readBool(req("suppressBlank"), at("suppressBlank"));
    o.suppressTokens = readIntList(req("suppressTokens"), at("suppressTokens"));
    o.compressionRatioThreshold.reset();
    o.logProbThreshold.reset();
    o.firstTokenLogProbThreshold.reset();
    o.noSpeechThreshold.reset();
    if (auto v = opt("compressionRatioThreshold"))
        o.compressionRatioThreshold = readFloat(*v, at("compressionRatioThreshold"));
    if (auto v = opt("logProbThreshold")) o.logProbThreshold = readFloat(*v, at("logProbThreshold"));
    if (auto v = opt("firstTokenLogProbThreshold"))
        o.firstTokenLogProbThreshold = readFloat(*v, at("firstTokenLogProbThreshold"));
    if (auto v = opt("noSpeechThreshold")) o.noSpeechThreshold = readFloat(*v, at("noSpeechThreshold"));
    o.concurrentWorkerCount = readInt(req("concurrentWorkerCount"), at("concurrentWorkerCount"));
    if (auto v = opt("chunkingStrategy")) o.chunkingStrategy = chunkingStrategyFromJson(*v, at("chunkingStrategy"));
    return o;
}

std::vector<std::pair<int64_t, int64_t>> DecodingOptions::prepareSeekClips(int64_t contentFrames) const {
    std::vector<int64_t> indices;
    for (float t : clipTimestamps) {
        const float sample = t * 16000.0f;
        if (!std::isfinite(sample)) continue;  // a time that is no number marks nothing
        // Far beyond any audio: held where the index arithmetic stays exact
        // and cannot overflow; the chunker cuts such clips at the audio's end.
        constexpr float limit = 4611686018427387904.0f;  // 2^62
        indices.push_back(static_cast<int64_t>(std::round(std::clamp(sample, -limit, limit))));
    }
    if (indices.empty()) indices.push_back(0);
    if (indices.size() % 2 == 1) indices.push_back(contentFrames);
    std::vector<std::pair<int64_t, int64_t>> clips;
    for (size_t i = 0; i + 1 < indices.size(); i += 2) clips.emplace_back(indices[i], indices[i + 1]);
    return clips;
}

}  // namespace DovuzudUza
