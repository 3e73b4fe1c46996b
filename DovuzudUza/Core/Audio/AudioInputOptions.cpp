#include "DovuzudUza/Core/Audio/AudioInputOptions.hpp"

#include <nlohmann/json.hpp>

namespace DovuzudUza {

using json = nlohmann::json;

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
        const json& v = inner.at("_0");
        if (!v.is_number_integer()) throw DecodingError("Expected to decode Int but found another type instead.");
        return specificChannel(v.get<int64_t>());
    }
    const json& inner = j.at("sumChannels");
    if (!inner.is_object()) throw DecodingError("Expected to decode Dictionary but found another type instead.");
    if (!inner.contains("_0") || inner.at("_0").is_null()) return sumChannels(std::nullopt);
    const json& list = inner.at("_0");
    if (!list.is_array()) throw DecodingError("Expected to decode Array<Int> but found another type instead.");
    std::vector<int64_t> channels;
    for (const auto& v : list) {
        if (!v.is_number_integer()) throw DecodingError("Expected to decode Int but found another type instead.");
        channels.push_back(v.get<int64_t>());
    }
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
