#pragma once

#include <filesystem>
#include <future>
#include <optional>
#include <string>

#include "ZezeziCore/External/Hub/Config.hpp"
#include "ZezeziCore/External/Hub/HubApiWrapper.hpp"

namespace Hub {

// The configuration files of a language model, loaded in the background from
// a hub repository (snapshot first) or from a folder; every query waits for
// the one load and sees its result or its error.
class LanguageModelConfigurationFromHub {
public:
    struct Configurations {
        std::optional<ZezeziCore::Config> modelConfig;
        std::optional<ZezeziCore::Config> tokenizerConfig;
        ZezeziCore::Config tokenizerData;
    };

    LanguageModelConfigurationFromHub(std::string modelName, std::string revision = "main",
                                      HubApiWrapper hubApi = HubApiWrapper::shared());
    // From a folder: no client, no network. The client, when given, is not used.
    explicit LanguageModelConfigurationFromHub(std::filesystem::path modelFolder);
    LanguageModelConfigurationFromHub(std::filesystem::path modelFolder, const HubApiWrapper& hubApi);

    static Configurations loadConfig(const std::filesystem::path& modelFolder);
    static Configurations loadConfig(const std::filesystem::path& modelFolder, const HubApiWrapper&) {
        return loadConfig(modelFolder);
    }

    Configurations configurations() const { return configPromise.get(); }
    // With a tokenizer class derived from the model type when the file names none.
    std::optional<ZezeziCore::Config> tokenizerConfig() const;
    ZezeziCore::Config tokenizerData() const { return configurations().tokenizerData; }
    std::optional<ZezeziCore::Config> modelConfig() const { return configurations().modelConfig; }
    std::optional<std::string> modelType() const;

    static const std::vector<std::string>& configurationFiles();

private:
    std::shared_future<Configurations> configPromise;
};

}  // namespace Hub
