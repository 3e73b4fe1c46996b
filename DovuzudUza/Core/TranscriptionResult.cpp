#include "DovuzudUza/Core/TranscriptionResult.hpp"


#include "ZezeziCore/Logging.hpp"
#include "DovuzudUza/Core/JsonCoding.hpp"
#include "platform/foundation/NumberFormat.hpp"

namespace DovuzudUza {

using namespace json_coding;

TranscriptionResult::TranscriptionResult(std::string text, std::vector<TranscriptionSegment> segments,
                                         std::string language, TranscriptionTimings timings,
                                         std::optional<float> seekTime)
    : text_(std::move(text)),
      segments_(std::move(segments)),
      language_(std::move(language)),
      timings_(timings),
      seekTime_(seekTime) {}

std::string TranscriptionResult::text() const {
    return text_.wrappedValue();
}
void TranscriptionResult::setText(std::string value) {
    text_.setWrappedValue(std::move(value));
}

std::vector<TranscriptionSegment> TranscriptionResult::segments() const {
    return segments_.wrappedValue();
}
void TranscriptionResult::setSegments(std::vector<TranscriptionSegment> value) {
    segments_.setWrappedValue(std::move(value));
}

std::string TranscriptionResult::language() const {
    return language_.wrappedValue();
}
void TranscriptionResult::setLanguage(std::string value) {
    language_.setWrappedValue(std::move(value));
}

TranscriptionTimings TranscriptionResult::timings() const {
    return timings_.wrappedValue();
}
void TranscriptionResult::setTimings(TranscriptionTimings value) {
    timings_.setWrappedValue(value);
}

std::optional<float> TranscriptionResult::seekTime() const {
    return seekTime_.wrappedValue();
}
void TranscriptionResult::setSeekTime(std::optional<float> value) {
    seekTime_.setWrappedValue(value);
}

std::vector<WordTiming> TranscriptionResult::allWords() const {
    std::vector<WordTiming> words;
    for (const auto& segment : segments())
        if (segment.words) words.insert(words.end(), segment.words->begin(), segment.words->end());
    return words;
}

void TranscriptionResult::logSegments() const {
    auto list = segments();
    for (size_t i = 0; i < list.size(); ++i)
        ZezeziCore::Logging::debug("[Segment " + std::to_string(i) + "] [" + platform::formatFixed(list[i].start, 2) +
                                   " --> " + platform::formatFixed(list[i].end, 2) + "] " + list[i].text);
}

void TranscriptionResult::logTimings() const {
    auto current = timings();
    int64_t tokenCount = 0;
    for (const auto& segment : segments()) tokenCount += static_cast<int64_t>(segment.tokens.size());
    ZezeziCore::Logging::info(current.report(tokenCount));
}

nlohmann::ordered_json TranscriptionResult::toJson() const {
    OrderedJson json = OrderedJson::object();
    // Each value is written while its own lock is held.
    text_.modify([&](const auto& v) { json["text"] = v; });
    segments_.modify([&](const auto& v) { json["segments"] = v; });
    language_.modify([&](const auto& v) { json["language"] = v; });
    timings_.modify([&](const auto& v) { json["timings"] = v; });
    seekTime_.modify([&](const auto& v) { json["seekTime"] = v ? floatValue(*v) : OrderedJson(nullptr); });
    return json;
}

namespace {

std::vector<TranscriptionSegment> segmentList(const Json& json, const std::string& path) {
    if (!json.is_array())
        throw JsonDecodingError(JsonDecodingError::Kind::typeMismatch, path,
                                "Expected to decode an array but found another value.");
    std::vector<TranscriptionSegment> segments;
    for (size_t i = 0; i < json.size(); ++i) segments.push_back(transcriptionSegmentFromJson(json[i], child(path, i)));
    return segments;
}

}  // namespace

std::shared_ptr<TranscriptionResult> TranscriptionResult::fromJson(const nlohmann::json& json, const std::string& path) {
    requireObject(json, path);
    std::string text = readString(require(json, "text", path), child(path, "text"));
    auto segments = segmentList(require(json, "segments", path), child(path, "segments"));
    std::string language = readString(require(json, "language", path), child(path, "language"));
    auto timings = transcriptionTimingsFromJson(require(json, "timings", path), child(path, "timings"));
    if (!json.contains("seekTime"))
        throw JsonDecodingError(JsonDecodingError::Kind::keyNotFound, path, "No value associated with key \"seekTime\".");
    std::optional<float> seekTime;
    if (!json.at("seekTime").is_null()) seekTime = readFloat(json.at("seekTime"), child(path, "seekTime"));
    return std::make_shared<TranscriptionResult>(std::move(text), std::move(segments), std::move(language), timings,
                                                 seekTime);
}

void to_json(nlohmann::ordered_json& json, const TranscriptionResultStruct& r) {
    json = OrderedJson::object();
    json["text"] = r.text;
    json["segments"] = r.segments;
    json["language"] = r.language;
    json["timings"] = r.timings;
    if (r.seekTime) json["seekTime"] = floatValue(*r.seekTime);
}

TranscriptionResultStruct transcriptionResultStructFromJson(const nlohmann::json& json, const std::string& path) {
    TranscriptionResultStruct r;
    r.text = readString(require(json, "text", path), child(path, "text"));
    r.segments = segmentList(require(json, "segments", path), child(path, "segments"));
    r.language = readString(require(json, "language", path), child(path, "language"));
    r.timings = transcriptionTimingsFromJson(require(json, "timings", path), child(path, "timings"));
    if (auto v = optional(json, "seekTime")) r.seekTime = readFloat(*v, child(path, "seekTime"));
    return r;
}

std::string description(TranscriptionState state) {
    switch (state) {
        case TranscriptionState::convertingAudio: return "Converting Audio";
        case TranscriptionState::transcribing: return "Transcribing";
        case TranscriptionState::finished: return "Finished";
    }
    return {};
}

}  // namespace DovuzudUza
