#pragma once

#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "ZezeziCore/External/Hub/ModelDownloader.hpp"
#include "ZezeziCore/ModelState.hpp"

namespace Hub {

// Does the real work for a ModelManager.
class ModelLoader {
public:
    virtual ~ModelLoader() = default;
    // A local folder that already holds the models, if any.
    virtual std::optional<std::string> modelFolder() const = 0;
    virtual std::string resolveModels(ModelDownloader& downloader, const ModelDownloader::ProgressCallback& progress) = 0;
    virtual void load(const std::string& folder, bool prewarm) = 0;
    virtual void unload() = 0;
};

// Drives one set of models through download, prewarm, load and unload, and
// loads them once for any number of concurrent ensureModelsLoaded() callers.
class ModelManager {
public:
    using StateCallback = std::function<void(ZezeziCore::ModelState oldState, ZezeziCore::ModelState newState)>;

    ModelManager(std::shared_ptr<ModelLoader> loader, std::shared_ptr<ModelDownloader> downloader);
    virtual ~ModelManager();

    ZezeziCore::ModelState modelState() const;
    StateCallback modelStateCallback() const;
    void setModelStateCallback(StateCallback callback);
    std::optional<std::filesystem::path> modelPath() const;
    std::optional<std::filesystem::path> modelFolder() const;
    ModelDownloader& downloader() { return *downloader_; }
    ModelLoader& loader() { return *loader_; }
    // The dynamic class's name, prefix of every log line.
    virtual std::string loggerName() const;

    virtual void ensureModelsLoaded();
    virtual void downloadModels(const ModelDownloader::ProgressCallback& progressCallback = {});
    virtual void prewarmModels();
    virtual void loadModels();
    virtual void unloadModels();
    virtual bool isAvailable() const;
    virtual bool isLoaded() const;

protected:
    // Stores the state and tells the observer (outside the lock) when it changed.
    void setModelState(ZezeziCore::ModelState state);

private:
    struct LoadStep;
    void runLoadStep(const LoadStep& step);
    std::string folderPath() const;
    void log(int level, const std::string& text) const;

    mutable std::mutex mutex_;
    ZezeziCore::ModelState modelState_ = ZezeziCore::ModelState::unloaded;
    StateCallback callback_;
    std::optional<std::filesystem::path> modelPath_;
    std::shared_ptr<ModelDownloader> downloader_;
    std::shared_ptr<ModelLoader> loader_;
    mutable std::once_flag nameOnce_;
    mutable std::string loggerName_;

    // Single flight for ensureModelsLoaded.
    std::mutex coordinatorMutex_;
    std::optional<std::shared_future<void>> inflightLoad_;
    std::vector<std::thread> finished_;
};

}  // namespace Hub
