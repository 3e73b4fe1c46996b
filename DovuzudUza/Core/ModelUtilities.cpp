#include "DovuzudUza/Core/ModelUtilities.hpp"

#include <algorithm>
#include <set>

#include "DovuzudUza/Core/Constants.hpp"
#include "ZezeziCore/Logging.hpp"
#include "DovuzudUza/Core/WhisperTokenizerWrapper.hpp"
#include "ZezeziCore/External/Hub/HubApiWrapper.hpp"
#include "ZezeziCore/External/Tokenizers/AutoTokenizer.hpp"

namespace DovuzudUza::ModelUtilities {

ModelVariant detectVariant(int64_t logitsDim, int64_t encoderDim) {
    switch (logitsDim) {
        case 51864:
            switch (encoderDim) {
                case 384: return ModelVariant::tinyEn;
                case 512: return ModelVariant::baseEn;
                case 768: return ModelVariant::smallEn;
                case 1024: return ModelVariant::mediumEn;
                default: return ModelVariant::baseEn;
            }
        case 51865:
            switch (encoderDim) {
                case 384: return ModelVariant::tiny;
                case 512: return ModelVariant::base;
                case 768: return ModelVariant::small;
                case 1024: return ModelVariant::medium;
                case 1280: return ModelVariant::largev2;
                default: return ModelVariant::base;
            }
        case 51866: return ModelVariant::largev3;
        default:
            ZezeziCore::Logging::error("Unrecognized vocabulary size: " + std::to_string(logitsDim) +
                              ", defaulting to base variant");
            return ModelVariant::base;
    }
}

ModelSupport modelSupport(const std::string& deviceIdentifier, const std::optional<ModelSupportConfig>& config) {
    if (config) return config->modelSupport(deviceIdentifier);
    return Constants::fallbackModelSupportConfig().modelSupport(deviceIdentifier);
}

namespace {

// Index in the variant order of the first description found in `name`.
std::optional<size_t> variantGroup(const std::string& name) {
    const auto& variants = allModelVariants();
    for (size_t i = 0; i < variants.size(); ++i)
        if (name.find(description(variants[i])) != std::string::npos) return i;
    return std::nullopt;
}

}  // namespace

std::vector<std::string> formatModelFiles(const std::vector<std::string>& files) {
    std::vector<std::string> sizeKeys;
    for (ModelVariant variant : allModelVariants()) {
        std::string key = description(variant);
        if (key.find("large") == std::string::npos) key += "/";
        sizeKeys.push_back(key);
    }

    std::set<std::string> folders;
    for (const auto& file : files) {
        std::string folder = file.substr(0, file.find('/')) + "/";
        bool matches = std::any_of(sizeKeys.begin(), sizeKeys.end(),
                                   [&](const std::string& key) { return folder.find(key) != std::string::npos; });
        if (matches) folders.insert(folder);
    }

    std::vector<std::string> names;
    for (std::string folder : folders) {
        if (!folder.empty() && folder.back() == '/') folder.pop_back();
        names.push_back(folder);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        auto ga = variantGroup(a);
        auto gb = variantGroup(b);
        if (ga == gb) return a < b;
        if (!ga) return false;
        if (!gb) return true;
        return *ga < *gb;
    });
    return names;
}

std::string tokenizerNameForVariant(ModelVariant variant) {
    return "openai/whisper-" + description(variant);
}

std::shared_ptr<WhisperTokenizer> loadTokenizer(ModelVariant variant,
                                                const std::optional<std::filesystem::path>& tokenizerFolder,
                                                const std::vector<std::filesystem::path>& additionalSearchPaths,
                                                bool useBackgroundSession) {
    const std::string repoId = tokenizerNameForVariant(variant);
    Hub::HubApiWrapper hubApi(tokenizerFolder, std::nullopt, std::nullopt, useBackgroundSession);
    const std::filesystem::path repoLocation =
        hubApi.localRepoLocation(Hub::HubApiWrapper::Repo{repoId, Hub::HubApiWrapper::RepoType::models});

    std::vector<std::filesystem::path> candidates{repoLocation};
    if (tokenizerFolder) candidates.push_back(*tokenizerFolder);
    candidates.insert(candidates.end(), additionalSearchPaths.begin(), additionalSearchPaths.end());

    std::optional<std::filesystem::path> chosen;
    for (const auto& folder : candidates) {
        const auto file = folder / "tokenizer.json";
        std::error_code ignored;
        bool found = std::filesystem::exists(file, ignored);
        ZezeziCore::Logging::debug("Checking for local tokenizer at " + file.string() + " - " + (found ? "found" : "not found"));
        if (found) {
            chosen = folder;
            ZezeziCore::Logging::debug("Found local tokenizer at " + folder.string());
            break;
        }
    }
    if (!chosen) ZezeziCore::Logging::debug("No tokenizer found in any local search paths");

    if (chosen) {
        ZezeziCore::Logging::debug("Loading tokenizer from " + chosen->string());
        try {
            auto tokenizer = Tokenizers::AutoTokenizerWrapper::fromModelFolder(*chosen, hubApi, true);
            return std::make_shared<WhisperTokenizerWrapper>(std::move(tokenizer), *chosen);
        } catch (const std::exception& error) {
            const auto* described = dynamic_cast<const platform::Error*>(&error);
            ZezeziCore::Logging::debug("Error loading local tokenizer: " +
                              (described ? described->description() : std::string(error.what())));
        }
    }

    ZezeziCore::Logging::debug("Downloading tokenizer from Hub at file://" + repoLocation.string());
    auto tokenizer = Tokenizers::AutoTokenizerWrapper::fromPretrained(repoId, hubApi, true);
    return std::make_shared<WhisperTokenizerWrapper>(std::move(tokenizer), repoLocation);
}

}  // namespace DovuzudUza::ModelUtilities
