#include "DovuzudUza/Core/ModelSupport.hpp"

#include <algorithm>
#include <set>
#include <string_view>
#include <unordered_set>

#include "DovuzudUza/Core/Constants.hpp"
#include "ZezeziCore/Logging.hpp"
#include "DovuzudUza/Core/JsonCoding.hpp"

namespace DovuzudUza {

using namespace json_coding;

namespace {

std::vector<std::string> orderedSet(const std::vector<std::string>& items) {
    std::vector<std::string> out;
    std::unordered_set<std::string> seen;
    for (const auto& item : items)
        if (seen.insert(item).second) out.push_back(item);
    return out;
}

bool nameQualifiesForMerge(const std::string& repoName) {
    return !repoName.empty() && std::string_view(ModelSupportConfig::fallbackName).find(repoName) != std::string_view::npos;
}

}  // namespace

ModelSupportConfig::ModelSupportConfig(std::string name, std::string version, std::vector<DeviceSupport> supports,
                                       bool includeFallback)
    : repoName(std::move(name)), repoVersion(std::move(version)), deviceSupports(std::move(supports)) {
    if (includeFallback && nameQualifiesForMerge(repoName))
        deviceSupports = mergeDeviceSupport(deviceSupports, Constants::fallbackModelSupportConfig().deviceSupports);
    complete();
}

ModelSupportConfig::ModelSupportConfig(BuiltIn, std::string name, std::string version,
                                       std::vector<DeviceSupport> supports)
    : repoName(std::move(name)), repoVersion(std::move(version)), deviceSupports(std::move(supports)) {
    complete();
}

void ModelSupportConfig::complete() {
    std::vector<std::string> all;
    for (const auto& entry : deviceSupports)
        all.insert(all.end(), entry.models.supported.begin(), entry.models.supported.end());
    knownModels = orderedSet(all);
    defaultSupport = DeviceSupport{std::nullopt, {}, ModelSupport{"openai_whisper-base", knownModels, {}}};
    computeDisabledModels();
}

void ModelSupportConfig::computeDisabledModels() {
    for (auto& entry : deviceSupports) {
        std::set<std::string> supported(entry.models.supported.begin(), entry.models.supported.end());
        entry.models.disabled.clear();
        for (const auto& name : knownModels)
            if (!supported.count(name)) entry.models.disabled.push_back(name);
    }
}

std::vector<DeviceSupport> ModelSupportConfig::mergeDeviceSupport(const std::vector<DeviceSupport>& remote,
                                                                  const std::vector<DeviceSupport>& fallback) {
    std::set<std::string> remoteIdentifiers;
    for (const auto& entry : remote) remoteIdentifiers.insert(entry.identifiers.begin(), entry.identifiers.end());

    std::vector<DeviceSupport> merged;
    for (const auto& entry : remote) {
        std::set<std::string> own(entry.identifiers.begin(), entry.identifiers.end());
        auto overlap = std::find_if(fallback.begin(), fallback.end(), [&](const DeviceSupport& builtIn) {
            return std::any_of(builtIn.identifiers.begin(), builtIn.identifiers.end(),
                               [&](const std::string& id) { return own.count(id) != 0; });
        });
        if (overlap == fallback.end()) {
            merged.push_back(entry);
            continue;
        }
        DeviceSupport copy = entry;
        std::vector<std::string> supported = entry.models.supported;
        supported.insert(supported.end(), overlap->models.supported.begin(), overlap->models.supported.end());
        copy.models = ModelSupport{entry.models.defaultModel, orderedSet(supported), {}};
        merged.push_back(std::move(copy));
    }
    for (const auto& builtIn : fallback) {
        bool overlapped = std::any_of(builtIn.identifiers.begin(), builtIn.identifiers.end(),
                                      [&](const std::string& id) { return remoteIdentifiers.count(id) != 0; });
        if (!overlapped) merged.push_back(builtIn);
    }
    return merged;
}

ModelSupport ModelSupportConfig::modelSupport(const std::string& deviceIdentifier) const {
    const DeviceSupport* best = nullptr;
    size_t bestLength = 0;
    for (const auto& entry : deviceSupports) {
        for (const auto& identifier : entry.identifiers) {
            if (deviceIdentifier.compare(0, identifier.size(), identifier) != 0 ||
                identifier.size() > deviceIdentifier.size())
                continue;
            if (!best || identifier.size() > bestLength) {
                best = &entry;
                bestLength = identifier.size();
            }
        }
    }
    if (best) {
        std::string list = "[";
        for (size_t i = 0; i < best->identifiers.size(); ++i) {
            if (i) list += ", ";
            list += "\"" + best->identifiers[i] + "\"";
        }
        list += "]";
        ZezeziCore::Logging::debug("Matched " + deviceIdentifier + " to devices: " + list);
        return best->models;
    }
    ZezeziCore::Logging::info("No device support found for " + deviceIdentifier + ", using default");
    return defaultSupport.models;
}

void to_json(nlohmann::ordered_json& json, const ModelSupport& value) {
    json = OrderedJson::object();
    json["default"] = value.defaultModel;
    json["supported"] = value.supported;
}

void to_json(nlohmann::ordered_json& json, const DeviceSupport& value) {
    json = OrderedJson::object();
    if (value.chips) json["chips"] = *value.chips;
    json["identifiers"] = value.identifiers;
    json["models"] = value.models;
}

void to_json(nlohmann::ordered_json& json, const ModelSupportConfig& value) {
    json = OrderedJson::object();
    json["name"] = value.repoName;
    json["version"] = value.repoVersion;
    json["device_support"] = value.deviceSupports;
}

ModelSupport modelSupportFromJson(const nlohmann::json& json, const std::string& path) {
    ModelSupport support;
    support.defaultModel = readString(require(json, "default", path), child(path, "default"));
    support.supported = readStringList(require(json, "supported", path), child(path, "supported"));
    return support;
}

DeviceSupport deviceSupportFromJson(const nlohmann::json& json, const std::string& path) {
    DeviceSupport support;
    requireObject(json, path);
    if (auto v = optional(json, "chips")) support.chips = readString(*v, child(path, "chips"));
    support.identifiers = readStringList(require(json, "identifiers", path), child(path, "identifiers"));
    support.models = modelSupportFromJson(require(json, "models", path), child(path, "models"));
    return support;
}

ModelSupportConfig modelSupportConfigFromJson(const nlohmann::json& json, const std::string& path) {
    std::string name = readString(require(json, "name", path), child(path, "name"));
    std::string version = readString(require(json, "version", path), child(path, "version"));
    const Json& list = require(json, "device_support", path);
    std::string listPath = child(path, "device_support");
    if (!list.is_array())
        throw JsonDecodingError(JsonDecodingError::Kind::typeMismatch, listPath,
                                "Expected to decode an array but found another value.");
    std::vector<DeviceSupport> supports;
    for (size_t i = 0; i < list.size(); ++i) supports.push_back(deviceSupportFromJson(list[i], child(listPath, i)));
    return ModelSupportConfig(std::move(name), std::move(version), std::move(supports), true);
}

// The built-in table.
const ModelSupportConfig& makeFallbackModelSupportConfig() {
    static const ModelSupportConfig config = [] {
        const std::vector<std::string> a16{
            "openai_whisper-tiny", "openai_whisper-tiny.en", "openai_whisper-base", "openai_whisper-base.en",
            "openai_whisper-small", "openai_whisper-small.en", "openai_whisper-large-v2_949MB",
            "openai_whisper-large-v2_turbo_955MB", "openai_whisper-large-v3_947MB",
            "openai_whisper-large-v3_turbo_954MB", "distil-whisper_distil-large-v3_594MB",
            "distil-whisper_distil-large-v3_turbo_600MB", "openai_whisper-large-v3-v20240930_626MB",
            "openai_whisper-large-v3-v20240930_turbo_632MB"};
        std::vector<DeviceSupport> entries{
            {"A12, A13, S9, S10",
             {"iPhone11", "iPhone12", "iPad12,1", "iPad12,2", "Watch7", "Watch8"},
             {"openai_whisper-tiny",
              {"openai_whisper-base", "openai_whisper-base.en", "openai_whisper-tiny", "openai_whisper-tiny.en"},
              {}}},
            {"A16, A17 Pro, A18",
             {"iPhone15", "iPhone16", "iPhone17", "iPad15,7", "iPad15,8", "iPad16,1", "iPad16,2"},
             {"openai_whisper-base", a16, {}}},
            {"M1",
             {"MacBookPro17,1", "MacBookPro18,1", "MacBookPro18,2", "MacBookPro18,3", "MacBookPro18,4",
              "MacBookAir10,1", "Macmini9,1", "iMac21,1", "iMac21,2", "Mac13", "iPad13,4", "iPad13,5", "iPad13,6",
              "iPad13,7", "iPad13,8", "iPad13,9", "iPad13,10", "iPad13,11", "iPad13,16", "iPad13,17"},
             {"openai_whisper-large-v3-v20240930_626MB",
              {"openai_whisper-tiny", "openai_whisper-tiny.en", "openai_whisper-base", "openai_whisper-base.en",
               "openai_whisper-small", "openai_whisper-small.en", "openai_whisper-large-v2",
               "openai_whisper-large-v2_949MB", "openai_whisper-large-v3", "openai_whisper-large-v3_947MB",
               "distil-whisper_distil-large-v3", "distil-whisper_distil-large-v3_594MB",
               "openai_whisper-large-v3-v20240930_626MB"},
              {}}},
            {"M2, M3, M4",
             {"Mac14", "Mac15", "Mac16", "iPad14,3", "iPad14,4", "iPad14,5", "iPad14,6", "iPad14,8", "iPad14,9",
              "iPad14,10", "iPad14,11", "iPad15", "iPad16"},
             {"openai_whisper-large-v3-v20240930",
              {"openai_whisper-tiny", "openai_whisper-tiny.en", "openai_whisper-base", "openai_whisper-base.en",
               "openai_whisper-small", "openai_whisper-small.en", "openai_whisper-large-v2",
               "openai_whisper-large-v2_949MB", "openai_whisper-large-v2_turbo",
               "openai_whisper-large-v2_turbo_955MB", "openai_whisper-large-v3", "openai_whisper-large-v3_947MB",
               "openai_whisper-large-v3_turbo", "openai_whisper-large-v3_turbo_954MB",
               "distil-whisper_distil-large-v3", "distil-whisper_distil-large-v3_594MB",
               "distil-whisper_distil-large-v3_turbo", "distil-whisper_distil-large-v3_turbo_600MB",
               "openai_whisper-large-v3-v20240930", "openai_whisper-large-v3-v20240930_turbo",
               "openai_whisper-large-v3-v20240930_626MB", "openai_whisper-large-v3-v20240930_turbo_632MB"},
              {}}},
            {"A14",
             {"iPhone13", "iPad13,1", "iPad13,2", "iPad13,18", "iPad13,19"},
             {"openai_whisper-base",
              {"openai_whisper-tiny", "openai_whisper-tiny.en", "openai_whisper-base", "openai_whisper-base.en",
               "openai_whisper-small", "openai_whisper-small.en"},
              {}}},
            {"A15", {"iPhone14", "iPad14,1", "iPad14,2"}, {"openai_whisper-base", a16, {}}},
        };
        return ModelSupportConfig(ModelSupportConfig::BuiltIn{}, ModelSupportConfig::fallbackName, "0.4",
                                  std::move(entries));
    }();
    return config;
}

namespace Constants {

const ModelSupportConfig& fallbackModelSupportConfig() { return makeFallbackModelSupportConfig(); }

const std::vector<std::string>& knownModels() {
    static const std::vector<std::string> models = fallbackModelSupportConfig().knownModels;
    return models;
}

}  // namespace Constants
}  // namespace DovuzudUza
