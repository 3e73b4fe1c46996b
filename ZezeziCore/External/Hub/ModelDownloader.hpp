#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ZezeziCore/External/Hub/HubApi.hpp"
#include "ZezeziCore/ModelState.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/ml/ComputeUnits.hpp"

namespace Hub {

struct ModelDownloadConfig {
    std::optional<std::string> downloadBase;
    std::string modelRepo;
    std::optional<std::string> modelToken;
    std::optional<std::string> modelFolder;
    bool useBackgroundSession = false;
    std::string endpoint;
    std::string revision;
};

// Where one model's folder sits in a repository.
struct ModelInfo {
    std::optional<std::string> version;
    std::optional<std::string> variant;
    std::string name;
    platform::ml::ComputeUnits computeUnits = platform::ml::ComputeUnits::all;

    // name/(version|*)/(variant|*)/*
    std::string downloadPattern() const;
    std::filesystem::path modelURL(const std::filesystem::path& baseURL) const;
    std::string description() const;
    std::string debugDescription() const;
    // The folder above the nearest component equal to `name`.
    std::optional<std::filesystem::path> findBaseFolder(const std::filesystem::path& url) const;
};

class ModelDownloaderError : public platform::Error {
public:
    static ModelDownloaderError modelUnavailable(std::string message) { return ModelDownloaderError(std::move(message)); }
    const std::string& message() const { return message_; }
    std::string description() const override { return message_; }

private:
    explicit ModelDownloaderError(std::string message) : message_(std::move(message)) {}
    std::string message_;
};

// Finds a model in a local folder or the hub's cache, or downloads it.
class ModelDownloader {
public:
    using StateCallback = std::function<void(ZezeziCore::ModelState)>;
    using ProgressCallback = std::function<void(const Progress&)>;

    explicit ModelDownloader(ModelDownloadConfig config);
    ModelDownloader(std::string endpoint, std::string repoName, std::optional<std::string> modelToken,
                    std::string revision, bool useBackgroundSession);
    virtual ~ModelDownloader() = default;

    const ModelDownloadConfig& config() const { return config_; }

    // The repository folder (not the model folder) holding every file of the
    // model's pattern.
    virtual std::filesystem::path downloadModel(const ModelInfo& modelInfo,
                                                const std::optional<std::filesystem::path>& downloadBase = std::nullopt,
                                                std::optional<bool> useOfflineMode = std::nullopt);
    virtual std::filesystem::path localRepoLocation(const std::optional<std::filesystem::path>& downloadBase = std::nullopt);
    // The model file: from the model folder, else the cache, else (when
    // allowed) a download.
    virtual std::filesystem::path resolveModel(const std::string& name, const ModelInfo& modelInfo,
                                               const std::optional<std::filesystem::path>& modelFolder = std::nullopt,
                                               const std::optional<std::filesystem::path>& downloadBase = std::nullopt,
                                               bool download = true, const StateCallback& modelStateCallback = {});
    virtual std::string resolveModelPath(const std::string& name, const ModelInfo& modelInfo,
                                         const std::optional<std::filesystem::path>& modelFolder = std::nullopt,
                                         const std::optional<std::filesystem::path>& downloadBase = std::nullopt,
                                         bool download = true, const StateCallback& modelStateCallback = {});
    virtual std::filesystem::path resolveRepo(const std::vector<std::string>& patterns,
                                              const std::optional<std::filesystem::path>& downloadBase = std::nullopt,
                                              bool download = true, const ProgressCallback& progressCallback = {});
    virtual std::vector<std::string> fetchFilenames(const std::vector<std::string>& patterns,
                                                    const std::optional<std::filesystem::path>& downloadBase = std::nullopt);
    virtual std::optional<std::filesystem::path> modelURLIfExists(const std::filesystem::path& folder,
                                                                  const std::string& name);

    // The hub client every operation builds afresh (tests may adjust it).
    std::function<void(HubApi&)> configureHubApi;

protected:
    HubApi makeHubApi(const std::optional<std::filesystem::path>& downloadBase, std::optional<bool> offline) const;
    std::optional<std::filesystem::path> effectiveBase(const std::optional<std::filesystem::path>& downloadBase) const;

private:
    bool patternsExistLocally(const std::vector<std::string>& patterns, const std::filesystem::path& repoFolder) const;

    ModelDownloadConfig config_;
};

}  // namespace Hub
