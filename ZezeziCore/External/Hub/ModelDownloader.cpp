#include "ZezeziCore/External/Hub/ModelDownloader.hpp"

#include "ZezeziCore/External/Hub/Extensions/ArrayExtensions.hpp"
#include "ZezeziCore/External/Hub/HubApiWrapper.hpp"
#include "ZezeziCore/Logging.hpp"
#include "ZezeziCore/ModelUtilities.hpp"

namespace Hub {

namespace fs = std::filesystem;
using ZezeziCore::Logging;
using ZezeziCore::ModelState;

std::string ModelInfo::downloadPattern() const {
    return name + "/" + version.value_or("*") + "/" + variant.value_or("*") + "/*";
}

fs::path ModelInfo::modelURL(const fs::path& baseURL) const {
    fs::path url = baseURL / name;
    if (version) url /= *version;
    if (variant) url /= *variant;
    return url;
}

std::string ModelInfo::description() const {
    std::string text = name;
    if (version) text += "/" + *version;
    if (variant) text += "/" + *variant;
    return text;
}

std::string ModelInfo::debugDescription() const {
    return "ModelInfo(name: " + name + ", version: " + version.value_or("nil") + ", variant: " +
           variant.value_or("nil") + ", computeUnit: " + ZezeziCore::description(computeUnits) + ")";
}

std::optional<fs::path> ModelInfo::findBaseFolder(const fs::path& url) const {
    fs::path current = url;
    while (current.has_relative_path()) {
        if (current.filename() == name) return current.parent_path();
        current = current.parent_path();
    }
    return std::nullopt;
}

ModelDownloader::ModelDownloader(ModelDownloadConfig config) : config_(std::move(config)) {}

ModelDownloader::ModelDownloader(std::string endpoint, std::string repoName, std::optional<std::string> modelToken,
                                 std::string revision, bool useBackgroundSession)
    : ModelDownloader(ModelDownloadConfig{std::nullopt, std::move(repoName), std::move(modelToken), std::nullopt,
                                          useBackgroundSession, std::move(endpoint), std::move(revision)}) {}

std::optional<fs::path> ModelDownloader::effectiveBase(const std::optional<fs::path>& downloadBase) const {
    if (downloadBase) return downloadBase;
    if (config_.downloadBase) return fs::path(*config_.downloadBase);
    return std::nullopt;
}

HubApi ModelDownloader::makeHubApi(const std::optional<fs::path>& downloadBase, std::optional<bool> offline) const {
    HubApiWrapper wrapper(effectiveBase(downloadBase), config_.modelToken, config_.endpoint, config_.useBackgroundSession);
    HubApi api = wrapper.impl;
    api.useOfflineMode = offline;
    if (configureHubApi) configureHubApi(api);
    return api;
}

fs::path ModelDownloader::localRepoLocation(const std::optional<fs::path>& downloadBase) {
    return makeHubApi(downloadBase, std::nullopt).localRepoLocation(HubApi::Repo(config_.modelRepo));
}

fs::path ModelDownloader::downloadModel(const ModelInfo& modelInfo, const std::optional<fs::path>& downloadBase,
                                        std::optional<bool> useOfflineMode) {
    const std::string pattern = modelInfo.downloadPattern();
    HubApi hub = makeHubApi(downloadBase, useOfflineMode);
    HubApi::Repo repo(config_.modelRepo);
    if (useOfflineMode.value_or(false)) {
        Logging::debug("[ModelDownloader] Searching for models matching \"" + pattern + "\" in " + repo.id + " (" +
                       HubApi::rawValue(repo.type) + ")");
        // Offline means offline: the pattern is matched against the local
        // copy, not against a listing from the hub.
        std::vector<std::string> local;
        fs::path folder = hub.localRepoLocation(repo);
        for (const auto& file : getFileUrls(folder)) local.push_back(file.lexically_relative(folder).generic_string());
        if (ZezeziCore::matching(local, pattern).empty())
            throw ModelDownloaderError::modelUnavailable("No models found matching \"" + pattern + "\" in " +
                                                         config_.modelRepo);
        Logging::debug("[ModelDownloader] Downloading model " + pattern + " with offline mode: true");
    } else {
        Logging::debug("[ModelDownloader] Downloading model " + pattern + " with offline mode: false");
    }
    return hub.snapshot(repo, config_.revision, {pattern});
}

std::optional<fs::path> ModelDownloader::modelURLIfExists(const fs::path& folder, const std::string& name) {
    fs::path url = ZezeziCore::ModelUtilities::detectModelURL(folder, name);
    std::error_code ec;
    if (fs::exists(url, ec)) return url;
    return std::nullopt;
}

fs::path ModelDownloader::resolveModel(const std::string& name, const ModelInfo& modelInfo,
                                       const std::optional<fs::path>& modelFolder,
                                       const std::optional<fs::path>& downloadBase, bool download,
                                       const StateCallback& modelStateCallback) {
    std::optional<fs::path> folder = modelFolder;
    if (!folder && config_.modelFolder) folder = fs::path(*config_.modelFolder);
    if (folder) {
        if (auto found = modelURLIfExists(modelInfo.modelURL(*folder), name)) {
            Logging::debug("[ModelDownloader] Found " + name + " in model folder");
            return *found;
        }
    }
    auto base = effectiveBase(downloadBase);
    try {
        fs::path repoFolder = ModelDownloader::downloadModel(modelInfo, base, true);
        if (auto found = modelURLIfExists(modelInfo.modelURL(repoFolder), name)) {
            Logging::debug("[ModelDownloader] Found existing " + name + " in cache");
            if (modelStateCallback) modelStateCallback(ModelState::downloaded);
            return *found;
        }
    } catch (...) {
        // Not usable from the cache: fall through to the download.
    }
    if (!download) throw ModelDownloaderError::modelUnavailable("No model found for " + name + " (download disabled)");
    if (modelStateCallback) modelStateCallback(ModelState::downloading);
    fs::path repoFolder = ModelDownloader::downloadModel(modelInfo, base, std::nullopt);
    if (auto found = modelURLIfExists(modelInfo.modelURL(repoFolder), name)) {
        Logging::debug("[ModelDownloader] Downloaded " + name);
        if (modelStateCallback) modelStateCallback(ModelState::downloaded);
        return *found;
    }
    throw ModelDownloaderError::modelUnavailable("No model found for " + name);
}

std::string ModelDownloader::resolveModelPath(const std::string& name, const ModelInfo& modelInfo,
                                              const std::optional<fs::path>& modelFolder,
                                              const std::optional<fs::path>& downloadBase, bool download,
                                              const StateCallback& modelStateCallback) {
    return resolveModel(name, modelInfo, modelFolder, downloadBase, download, modelStateCallback).string();
}

bool ModelDownloader::patternsExistLocally(const std::vector<std::string>& patterns, const fs::path& repoFolder) const {
    for (const auto& pattern : patterns) {
        std::vector<std::string> leading;
        size_t start = 0;
        while (start <= pattern.size()) {
            auto slash = pattern.find('/', start);
            std::string part = pattern.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
            if (!part.empty()) {
                if (part.find('*') != std::string::npos) break;
                leading.push_back(part);
            }
            if (slash == std::string::npos) break;
            start = slash + 1;
        }
        if (leading.empty()) return false;
        fs::path path = repoFolder;
        for (const auto& part : leading) path /= part;
        std::error_code ec;
        if (!fs::exists(path, ec)) return false;
        fs::directory_iterator it(path, ec);
        if (ec || it == fs::directory_iterator()) return false;
    }
    return true;
}

fs::path ModelDownloader::resolveRepo(const std::vector<std::string>& patterns,
                                      const std::optional<fs::path>& downloadBase, bool download,
                                      const ProgressCallback& progressCallback) {
    auto base = effectiveBase(downloadBase);
    fs::path repoFolder = ModelDownloader::localRepoLocation(base);
    HubApi::Repo repo(config_.modelRepo);
    if (patternsExistLocally(patterns, repoFolder)) {
        try {
            fs::path folder = makeHubApi(base, true).snapshot(repo, config_.revision, patterns);
            Logging::debug("[ModelDownloader] Found valid local cache at " + folder.string());
            return folder;
        } catch (const std::exception& e) {
            Logging::debug("[ModelDownloader] Local cache for '" + config_.modelRepo + "' didn't validate (" +
                           describeError(e) + "); re-resolving.");
        }
    }
    if (!download)
        throw ModelDownloaderError::modelUnavailable("No valid local models found for repo '" + config_.modelRepo +
                                                     "' and download is disabled.");
    HubApi hub = makeHubApi(base, std::nullopt);
    Logging::info("[ModelDownloader] Downloading " + std::to_string(patterns.size()) + " model(s) from " +
                  config_.modelRepo + "...");
    fs::path folder = hub.snapshot(repo, config_.revision, patterns, [&](const Progress& p) {
        if (progressCallback) progressCallback(p);
    });
    Logging::info("[ModelDownloader] Download complete: " + folder.string());
    return folder;
}

std::vector<std::string> ModelDownloader::fetchFilenames(const std::vector<std::string>& patterns,
                                                         const std::optional<fs::path>& downloadBase) {
    return makeHubApi(downloadBase, std::nullopt).getFilenames(HubApi::Repo(config_.modelRepo), config_.revision, patterns);
}

}  // namespace Hub
