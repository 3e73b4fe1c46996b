// Which models suit this machine, which exist, and how a variant's folder
// comes to be: found in the model catalogue, fetched as a checkpoint and
// converted (CheckpointInstaller).
#include <set>

#include <nlohmann/json.hpp>

#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "DovuzudUza/Core/CheckpointInstaller.hpp"
#include "DovuzudUza/Core/Constants.hpp"
#include "DovuzudUza/Core/DovuzudUza.hpp"
#include "DovuzudUza/Core/EngineLog.hpp"
#include "DovuzudUza/Core/ModelCatalogue.hpp"
#include "DovuzudUza/Core/ModelUtilities.hpp"
#include "ZezeziCore/External/Hub/Extensions/ArrayExtensions.hpp"
#include "ZezeziCore/External/Hub/HubApiWrapper.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/foundation/FileManager.hpp"
#include "platform/foundation/NumberFormat.hpp"

namespace DovuzudUza {

namespace fs = std::filesystem;

namespace {

std::string inQuotes(const std::string& text) { return "\"" + text + "\""; }

std::string describe(const Hub::HubApiWrapper::Repo& repo) {
    return "Repo(id: " + inQuotes(repo.id) + ", type: " + Hub::HubApi::rawValue(repo.type) + ")";
}

std::string arrayLiteral(const std::vector<std::string>& names) {
    std::string text = "[";
    for (size_t i = 0; i < names.size(); ++i) {
        if (i) text += ", ";
        text += inQuotes(names[i]);
    }
    return text + "]";
}

std::set<std::string> folders(const std::vector<ModelCatalogue::Entry>& entries) {
    std::set<std::string> out;
    for (const auto& entry : entries) out.insert(entry.folder);
    return out;
}

// The catalogue folders of `repo` that the pattern accepts. The catalogue
// speaks for its own repository only: another one (a fine-tuned model, say)
// has none, and is never answered with the stock weights.
std::vector<ModelCatalogue::Entry> foldersOf(const Hub::HubApiWrapper::Repo& repo, const std::string& pattern) {
    if (repo.id != ModelCatalogue::repository()) return {};
    return ModelCatalogue::matching(pattern);
}

// The one catalogue folder the variant names: first "*<variant>/*", then
// the narrower "*openai*<variant>/*".
ModelCatalogue::Entry findVariant(const std::string& variant, const Hub::HubApiWrapper::Repo& repo) {
    std::string pattern = "*" + variant + "/*";
    engine_log::debug("Searching for models matching " + inQuotes(pattern) + " in " + describe(repo));
    auto found = foldersOf(repo, pattern);
    if (folders(found).size() == 1) return found.front();
    engine_log::debug(std::string(found.empty() ? "No" : "Multiple") + " models found matching " + inQuotes(pattern));
    pattern = "*openai*" + variant + "/*";
    engine_log::debug("Searching for models matching " + inQuotes(pattern) + " in " + describe(repo));
    found = foldersOf(repo, pattern);
    if (folders(found).size() == 1) return found.front();
    throw WhisperError::modelsUnavailable(std::string(found.empty() ? "No" : "Multiple") + " models found matching " +
                                          inQuotes(pattern) + " in " + describe(repo));
}

}  // namespace

std::string DovuzudUza::defaultEndpoint() { return std::string(Constants::defaultRemoteEndpoint); }

ModelSupport DovuzudUza::recommendedModels() {
    const std::string device = deviceName();
    engine_log::debug("Running on " + device);
    return Constants::fallbackModelSupportConfig().modelSupport(device);
}

ModelSupportConfig DovuzudUza::fetchModelSupportConfig(const std::string& from,
                                                       const std::optional<fs::path>& downloadBase,
                                                       const std::optional<std::string>& token,
                                                       const std::string& remoteConfigName,
                                                       const std::string& endpoint, bool useBackgroundSession) {
    const Hub::HubApiWrapper hub(downloadBase, token, endpoint, useBackgroundSession);
    const Hub::HubApiWrapper::Repo repo(from, Hub::HubApiWrapper::RepoType::models);
    engine_log::debug("Searching for config file matching " + inQuotes(remoteConfigName) + " in " + from);
    try {
        const auto matches = hub.getFilenames(repo, "main", {remoteConfigName});
        if (matches.empty()) {
            engine_log::info("No config files found matching " + inQuotes(remoteConfigName) + " in " + from +
                             ", using fallback");
            return Constants::fallbackModelSupportConfig();
        }
        if (matches.size() > 1) {
            engine_log::info("Multiple config files found (" + platform::formatInteger(static_cast<int64_t>(matches.size())) +
                             "): " + arrayLiteral(matches) + ". Using first matching file: " + matches.front());
        }
        const fs::path folder = hub.snapshot(repo, "main", {matches.front()});
        const auto json = nlohmann::json::parse(platform::FileManager::readFile(folder / matches.front()));
        return modelSupportConfigFromJson(json);
    } catch (const std::exception& error) {
        engine_log::error("Fetch model support config failed with error: " + platform::plainDescription(error));
        return Constants::fallbackModelSupportConfig();
    }
}

ModelSupport DovuzudUza::recommendedRemoteModels(const std::string& from, const std::optional<fs::path>& downloadBase,
                                                 const std::optional<std::string>& token,
                                                 const std::string& remoteConfigName, const std::string& endpoint,
                                                 bool useBackgroundSession) {
    return fetchModelSupportConfig(from, downloadBase, token, remoteConfigName, endpoint, useBackgroundSession)
        .modelSupport(deviceName());
}

std::vector<std::string> DovuzudUza::fetchAvailableModels(const std::string& from,
                                                          const std::vector<std::string>& matching,
                                                          const std::optional<fs::path>& downloadBase,
                                                          const std::optional<std::string>& token,
                                                          const std::string& remoteConfigName,
                                                          const std::string& endpoint) {
    const auto supported =
        fetchModelSupportConfig(from, downloadBase, token, remoteConfigName, endpoint, false).modelSupport(deviceName()).supported;
    std::set<std::string> names;
    for (const auto& glob : matching)
        for (const auto& name : ZezeziCore::matching(supported, glob)) names.insert(name);
    return ModelUtilities::formatModelFiles({names.begin(), names.end()});
}

fs::path DovuzudUza::download(const std::string& variant, const std::optional<fs::path>& downloadBase,
                              bool useBackgroundSession, const std::string& from,
                              const std::optional<std::string>& token, const std::string& endpoint,
                              const ProgressCallback& progressCallback, const std::function<void()>& willConvert,
                              std::stop_token stop) {
    try {
        const Hub::HubApiWrapper hub(downloadBase, token, endpoint, useBackgroundSession);
        const Hub::HubApiWrapper::Repo repo(from, Hub::HubApiWrapper::RepoType::models);
        const auto entry = findVariant(variant, repo);
        engine_log::debug("Downloading model " + entry.folder + "...");
        const fs::path folder = hub.localRepoLocation(repo) / entry.folder;
        CheckpointInstaller::install(
            hub, entry.checkpointRepository, folder,
            [&](const Hub::Progress& progress) {
                engine_log::debug("Fetched " + platform::formatInteger(progress.completedUnitCount()) + " of " +
                                  platform::formatInteger(progress.totalUnitCount()) + " bytes");
                if (progressCallback) progressCallback(progress);
            },
            willConvert, stop);
        return folder;
    } catch (const std::exception& error) {
        const auto* described = dynamic_cast<const platform::Error*>(&error);
        engine_log::debug(described ? described->localizedDescription() : std::string(error.what()));
        throw;
    }
}

}  // namespace DovuzudUza
