#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace DovuzudUza {

// The models for one family of devices. `default` is a keyword here, so the
// recommended folder is `defaultModel` (JSON key "default").
struct ModelSupport {
    std::string defaultModel;
    std::vector<std::string> supported;
    std::vector<std::string> disabled;  // computed, never read from JSON

    bool operator==(const ModelSupport&) const = default;
};

struct DeviceSupport {
    std::optional<std::string> chips;
    std::vector<std::string> identifiers;
    ModelSupport models;

    bool operator==(const DeviceSupport&) const = default;
};

// Which model folders suit which device, with the derived known list,
// default entry and disabled lists.
struct ModelSupportConfig {
    ModelSupportConfig(std::string repoName, std::string repoVersion, std::vector<DeviceSupport> deviceSupports,
                       bool includeFallback = true);

    std::string repoName;
    std::string repoVersion;
    std::vector<DeviceSupport> deviceSupports;
    std::vector<std::string> knownModels;
    DeviceSupport defaultSupport;

    // The models of the entry whose identifier is the longest prefix of
    // `deviceIdentifier`, else of `defaultSupport`.
    ModelSupport modelSupport(const std::string& deviceIdentifier) const;

    static constexpr const char* fallbackName = "dovuzuduza-coreml-fallback";

private:
    struct BuiltIn {};
    ModelSupportConfig(BuiltIn, std::string repoName, std::string repoVersion,
                       std::vector<DeviceSupport> deviceSupports);
    friend const ModelSupportConfig& makeFallbackModelSupportConfig();

    void complete();
    void computeDisabledModels();
    static std::vector<DeviceSupport> mergeDeviceSupport(const std::vector<DeviceSupport>& remote,
                                                         const std::vector<DeviceSupport>& fallback);
};

void to_json(nlohmann::ordered_json& json, const ModelSupport& value);
void to_json(nlohmann::ordered_json& json, const DeviceSupport& value);
void to_json(nlohmann::ordered_json& json, const ModelSupportConfig& value);

ModelSupport modelSupportFromJson(const nlohmann::json& json, const std::string& path = "");
DeviceSupport deviceSupportFromJson(const nlohmann::json& json, const std::string& path = "");
// Always applies the merge with the built-in entries when the name qualifies.
ModelSupportConfig modelSupportConfigFromJson(const nlohmann::json& json, const std::string& path = "");

}  // namespace DovuzudUza
