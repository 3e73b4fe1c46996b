#include "ZezeziCore/External/Hub/ModelManager.hpp"

#include <cxxabi.h>

#include <cstdlib>
#include <thread>
#include <typeinfo>

#include "ZezeziCore/External/Hub/HubClientError.hpp"
#include "ZezeziCore/Logging.hpp"
#include "ZezeziCore/ZezeziCoreError.hpp"

namespace Hub {

namespace fs = std::filesystem;
using ZezeziCore::Logging;
using ZezeziCore::ModelState;

ModelManager::ModelManager(std::shared_ptr<ModelLoader> loader, std::shared_ptr<ModelDownloader> downloader)
    : downloader_(std::move(downloader)), loader_(std::move(loader)) {}

ModelManager::~ModelManager() {
    std::optional<std::shared_future<void>> inflight;
    {
        std::lock_guard lock(coordinatorMutex_);
        inflight = inflightLoad_;
    }
    // The load's thread refers to this manager: let it end first.
    if (inflight) inflight->wait();
    for (auto& t : finished_)
        if (t.joinable()) t.join();
}

ModelState ModelManager::modelState() const {
    std::lock_guard lock(mutex_);
    return modelState_;
}

ModelManager::StateCallback ModelManager::modelStateCallback() const {
    std::lock_guard lock(mutex_);
    return callback_;
}

void ModelManager::setModelStateCallback(StateCallback callback) {
    std::lock_guard lock(mutex_);
    callback_ = std::move(callback);
}

std::optional<fs::path> ModelManager::modelPath() const {
    std::lock_guard lock(mutex_);
    return modelPath_;
}

std::optional<fs::path> ModelManager::modelFolder() const {
    auto folder = loader_->modelFolder();
    if (!folder) return std::nullopt;
    return fs::path(*folder);
}

std::string ModelManager::loggerName() const {
    std::call_once(nameOnce_, [this] {
        const char* mangled = typeid(*this).name();
        int status = 0;
        char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
        std::string name = status == 0 && demangled ? demangled : mangled;
        std::free(demangled);
        // The unqualified name.
        int depth = 0;
        size_t start = 0;
        for (size_t i = 0; i < name.size(); ++i) {
            if (name[i] == '<') ++depth;
            if (name[i] == '>') --depth;
            if (depth == 0 && name.compare(i, 2, "::") == 0) start = i + 2;
        }
        loggerName_ = name.substr(start);
    });
    return loggerName_;
}

void ModelManager::log(int level, const std::string& text) const {
    std::string line(1, '[');
    line += loggerName();
    line += text;
    if (level == 0) Logging::debug(line);
    if (level == 1) Logging::info(line);
    if (level == 2) Logging::error(line);
}

void ModelManager::setModelState(ModelState state) {
    ModelState old;
    StateCallback callback;
    {
        std::lock_guard lock(mutex_);
        old = modelState_;
        modelState_ = state;
        callback = callback_;
    }
    if (old != state && callback) callback(old, state);
}

bool ModelManager::isAvailable() const {
    auto s = modelState();
    return s == ModelState::loading || s == ModelState::loaded || s == ModelState::downloaded;
}

bool ModelManager::isLoaded() const { return modelState() == ModelState::loaded; }

std::string ModelManager::folderPath() const {
    if (auto path = modelPath()) return path->string();
    if (auto folder = loader_->modelFolder()) return *folder;
    throw ZezeziCore::ZezeziCoreError::invalidConfiguration(
        "No model path available. Call downloadModels() first, or provide modelFolder.");
}

void ModelManager::downloadModels(const ModelDownloader::ProgressCallback& progressCallback) {
    ModelState state = modelState();
    if (state != ModelState::unloaded) {
        log(0, "] Models already downloaded (state: " + ZezeziCore::description(state) + "), skipping download");
        return;
    }
    if (auto folder = loader_->modelFolder()) {
        {
            std::lock_guard lock(mutex_);
            modelPath_ = fs::path(*folder);
        }
        log(0, "] modelFolder is set, skipping download");
        setModelState(ModelState::downloaded);
        return;
    }
    log(1, "] Starting download process...");
    setModelState(ModelState::downloading);
    std::string path;
    try {
        path = loader_->resolveModels(*downloader_, progressCallback);
    } catch (const std::exception& e) {
        setModelState(ModelState::unloaded);
        log(2, "] Failed to download models: " + describeError(e));
        throw;
    }
    {
        std::lock_guard lock(mutex_);
        modelPath_ = fs::path(path);
    }
    setModelState(ModelState::downloaded);
    log(1, "] Models downloaded to " + path);
}

// Prewarming and loading differ only in their states and texts.
struct ModelManager::LoadStep {
    bool prewarm;
    ModelState busy;
    ModelState done;
    const char* skipped;
    const char* refused;
    const char* failed;
    const char* succeeded;
};

void ModelManager::prewarmModels() {
    static const LoadStep step{true,
                               ModelState::prewarming,
                               ModelState::prewarmed,
                               "] Models already prewarmed, skipping",
                               "Cannot prewarm in state: ",
                               "] Failed to prewarm models: ",
                               "] Models prewarmed successfully"};
    runLoadStep(step);
}

void ModelManager::loadModels() {
    static const LoadStep step{false,
                               ModelState::loading,
                               ModelState::loaded,
                               "] Models already loaded, skipping",
                               "Cannot load in state: ",
                               "] Failed to load models: ",
                               "] Models loaded successfully"};
    runLoadStep(step);
}

void ModelManager::runLoadStep(const LoadStep& step) {
    if (modelState() == ModelState::unloaded) downloadModels();
    std::string path = folderPath();
    ModelState state = modelState();
    if (state == step.done) {
        log(0, step.skipped);
        return;
    }
    // Loading also takes prewarmed models; prewarming only downloaded ones.
    bool accepted = state == ModelState::downloaded || (!step.prewarm && state == ModelState::prewarmed);
    if (!accepted)
        throw ZezeziCore::ZezeziCoreError::invalidConfiguration(step.refused + ZezeziCore::description(state));
    setModelState(step.busy);
    try {
        loader_->load(path, step.prewarm);
    } catch (const std::exception& e) {
        setModelState(ModelState::unloaded);
        log(2, step.failed + describeError(e));
        throw;
    }
    setModelState(step.done);
    log(1, step.succeeded);
}

void ModelManager::unloadModels() {
    ModelState state = modelState();
    if (state != ModelState::loaded && state != ModelState::prewarmed) return;
    setModelState(ModelState::unloading);
    loader_->unload();
    setModelState(ModelState::unloaded);
}

void ModelManager::ensureModelsLoaded() {
    if (modelState() == ModelState::loaded) return;
    std::shared_future<void> flight;
    {
        std::lock_guard lock(coordinatorMutex_);
        if (inflightLoad_) {
            flight = *inflightLoad_;
        } else {
            // The work belongs to no caller: a caller that gives up does not stop it.
            auto promise = std::make_shared<std::promise<void>>();
            flight = promise->get_future().share();
            inflightLoad_ = flight;
            for (auto& t : finished_)
                if (t.joinable()) t.join();
            finished_.clear();
            finished_.emplace_back([this, promise] {
                try {
                    if (modelState() != ModelState::loaded) {
                        downloadModels();
                        loadModels();
                    }
                    {
                        std::lock_guard lock(coordinatorMutex_);
                        inflightLoad_.reset();
                    }
                    promise->set_value();
                } catch (...) {
                    {
                        std::lock_guard lock(coordinatorMutex_);
                        inflightLoad_.reset();
                    }
                    promise->set_exception(std::current_exception());
                }
            });
        }
    }
    flight.get();
}

}  // namespace Hub
