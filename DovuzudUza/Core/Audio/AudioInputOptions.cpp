#include "DovuzudUza/Core/Audio/AudioInputOptions.hpp"

#include <nlohmann/json.hpp>

#include "DovuzudUza/Core/JsonCoding.hpp"

namespace DovuzudUza {

using json = nlohmann::json;

namespace {

// A channel number; a whole float such as 2.0 reads as 2, like every other
// integer the engine reads from JSON.
int64_t channelNumber(const json& value) {
    try {
        return json_coding::readInt(value, "_0");
    } catch (const JsonDecodingError& e) {
        if (e.kind() == JsonDecodingError::Kind::typeMismatch)
            throw AudioInputOptions::DecodingError("Expected to decode Int but found another type instead.");
        throw AudioInputOptions::DecodingError("Parsed JSON number <" + value.dump() + "> does not fit in Int.");
    }
}

}  // namespace

json AudioInputOptions::ChannelMode::toJSON() const {
    if (const auto* s = asSpecificChannel()) return json{{"specificChannel", json{{"_0", s->channel}}}};
    const auto* sum = asSumChannels();
    json inner = json::object();
    if (sum->channels) inner["_0"] = *sum->channels;
    return json{{"sumChannels", inner}};
}

AudioInputOptions::ChannelMode AudioInputOptions::ChannelMode::fromJSON(const json& j) {
    if (!j.is_object()) throw DecodingError("Expected to decode Dictionary but found another type instead.");
    const bool specific = j.contains("specificChannel");
    const bool sum = j.contains("sumChannels");
    if (specific == sum) throw DecodingError("Invalid number of keys found, expected one.");
    if (specific) {
        const json& inner = j.at("specificChannel");
        if (!inner.is_object() || !inner.contains("_0")) throw DecodingError("No value associated with key \"_0\".");
        return specificChannel(channelNumber(inner.at("_0")));
    }
    const json& inner = j.at("sumChannels");
    if (!inner.is_object()) throw DecodingError("Expected to decode Dictionary but found another type instead.");
    if (!inner.contains("_0") || inner.at("_0").is_null()) return sumChannels(std::nullopt);
    const json& list = inner.at("_0");
    if (!list.is_array()) throw DecodingError("Expected to decode Array<Int> but found another type instead.");
    std::vector<int64_t> channels;
    for (const auto& v : list) channels.push_back(channelNumber(v));
    return sumChannels(std::move(channels));
}

}  // namespace DovuzudUza

size_t std::hash<DovuzudUza::AudioInputOptions::ChannelMode>::operator()(
    const DovuzudUza::AudioInputOptions::ChannelMode& mode) const noexcept {
    size_t h = 0;
    if (const auto* s = mode.asSpecificChannel()) return std::hash<int64_t>()(s->channel) * 3 + 1;
    const auto* sum = mode.asSumChannels();
    if (!sum->channels) return 2;
    h = 7;
    for (int64_t c : *sum->channels) h = h * 31 + std::hash<int64_t>()(c);
    return h;
}
