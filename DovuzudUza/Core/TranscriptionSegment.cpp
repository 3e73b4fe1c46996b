#include "DovuzudUza/Core/TranscriptionSegment.hpp"

#include <charconv>
#include <functional>

#include "DovuzudUza/Core/JsonCoding.hpp"

namespace DovuzudUza {

using namespace json_coding;

void to_json(nlohmann::ordered_json& json, const WordTiming& word) {
    json = OrderedJson::object();
    json["word"] = word.word;
    json["tokens"] = word.tokens;
    json["start"] = floatValue(word.start);
    json["end"] = floatValue(word.end);
    json["probability"] = floatValue(word.probability);
}

void to_json(nlohmann::ordered_json& json, const TranscriptionSegment& s) {
    json = OrderedJson::object();
    json["id"] = s.id;
    json["seek"] = s.seek;
    json["start"] = floatValue(s.start);
    json["end"] = floatValue(s.end);
    json["text"] = s.text;
    json["tokens"] = s.tokens;
    OrderedJson probs = OrderedJson::array();
    for (const auto& map : s.tokenLogProbs) {
        OrderedJson entry = OrderedJson::object();
        for (const auto& [token, logProb] : map) entry[std::to_string(token)] = floatValue(logProb);
        probs.push_back(std::move(entry));
    }
    json["tokenLogProbs"] = std::move(probs);
    json["temperature"] = floatValue(s.temperature);
    json["avgLogprob"] = floatValue(s.avgLogprob);
    json["compressionRatio"] = floatValue(s.compressionRatio);
    json["noSpeechProb"] = floatValue(s.noSpeechProb);
    if (s.words) json["words"] = *s.words;
}

WordTiming wordTimingFromJson(const nlohmann::json& json, const std::string& path) {
    WordTiming w;
    w.word = readString(require(json, "word", path), child(path, "word"));
    w.tokens = readIntList(require(json, "tokens", path), child(path, "tokens"));
    w.start = readFloat(require(json, "start", path), child(path, "start"));
    w.end = readFloat(require(json, "end", path), child(path, "end"));
    w.probability = readFloat(require(json, "probability", path), child(path, "probability"));
    return w;
}

namespace {

std::map<int64_t, float> tokenLogProbMap(const Json& json, const std::string& path) {
    requireObject(json, path);
    std::map<int64_t, float> map;
    for (auto it = json.begin(); it != json.end(); ++it) {
        const std::string& key = it.key();
        int64_t token = 0;
        auto [end, ec] = std::from_chars(key.data(), key.data() + key.size(), token);
        if (ec != std::errc() || end != key.data() + key.size())
            throw JsonDecodingError(JsonDecodingError::Kind::typeMismatch, child(path, key),
                                    "Expected an integer key but found \"" + key + "\".");
        map[token] = readFloat(it.value(), child(path, key));
    }
    return map;
}

}  // namespace

TranscriptionSegment transcriptionSegmentFromJson(const nlohmann::json& json, const std::string& path) {
    TranscriptionSegment s;
    auto req = [&](const char* key) -> const Json& { return require(json, key, path); };
    auto at = [&](const char* key) { return child(path, key); };
    s.id = readInt(req("id"), at("id"));
    s.seek = readInt(req("seek"), at("seek"));
    s.start = readFloat(req("start"), at("start"));
    s.end = readFloat(req("end"), at("end"));
    s.text = readString(req("text"), at("text"));
    s.tokens = readIntList(req("tokens"), at("tokens"));
    const Json& probs = req("tokenLogProbs");
    if (!probs.is_array())
        throw JsonDecodingError(JsonDecodingError::Kind::typeMismatch, at("tokenLogProbs"),
                                "Expected to decode an array but found another value.");
    for (size_t i = 0; i < probs.size(); ++i) s.tokenLogProbs.push_back(tokenLogProbMap(probs[i], child(at("tokenLogProbs"), i)));
    s.temperature = readFloat(req("temperature"), at("temperature"));
    s.avgLogprob = readFloat(req("avgLogprob"), at("avgLogprob"));
    s.compressionRatio = readFloat(req("compressionRatio"), at("compressionRatio"));
    s.noSpeechProb = readFloat(req("noSpeechProb"), at("noSpeechProb"));
    if (auto words = optional(json, "words")) {
        if (!words->is_array())
            throw JsonDecodingError(JsonDecodingError::Kind::typeMismatch, at("words"),
                                    "Expected to decode an array but found another value.");
        std::vector<WordTiming> list;
        for (size_t i = 0; i < words->size(); ++i) list.push_back(wordTimingFromJson((*words)[i], child(at("words"), i)));
        s.words = std::move(list);
    }
    return s;
}

}  // namespace DovuzudUza

namespace {
inline void combine(size_t& seed, size_t value) { seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2); }
}  // namespace

size_t std::hash<DovuzudUza::WordTiming>::operator()(const DovuzudUza::WordTiming& w) const noexcept {
    size_t seed = std::hash<std::string>{}(w.word);
    for (int64_t t : w.tokens) combine(seed, std::hash<int64_t>{}(t));
    combine(seed, std::hash<float>{}(w.start));
    combine(seed, std::hash<float>{}(w.end));
    combine(seed, std::hash<float>{}(w.probability));
    return seed;
}

size_t std::hash<DovuzudUza::TranscriptionSegment>::operator()(const DovuzudUza::TranscriptionSegment& s) const noexcept {
    size_t seed = std::hash<int64_t>{}(s.id);
    combine(seed, std::hash<int64_t>{}(s.seek));
    combine(seed, std::hash<float>{}(s.start));
    combine(seed, std::hash<float>{}(s.end));
    combine(seed, std::hash<std::string>{}(s.text));
    for (int64_t t : s.tokens) combine(seed, std::hash<int64_t>{}(t));
    for (const auto& map : s.tokenLogProbs)
        for (const auto& [token, p] : map) {
            combine(seed, std::hash<int64_t>{}(token));
            combine(seed, std::hash<float>{}(p));
        }
    combine(seed, std::hash<float>{}(s.temperature));
    combine(seed, std::hash<float>{}(s.avgLogprob));
    combine(seed, std::hash<float>{}(s.compressionRatio));
    combine(seed, std::hash<float>{}(s.noSpeechProb));
    if (s.words)
        for (const auto& w : *s.words) combine(seed, std::hash<DovuzudUza::WordTiming>{}(w));
    return seed;
}
