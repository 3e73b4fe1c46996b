#include "DovuzudUza/Core/WhisperMLModel.hpp"

namespace DovuzudUza {

std::shared_ptr<platform::ml::Model> WhisperMLModel::model() const {
    std::lock_guard lock(modelMutex_);
    return model_;
}

void WhisperMLModel::setModel(std::shared_ptr<platform::ml::Model> model) {
    std::lock_guard lock(modelMutex_);
    model_ = std::move(model);
}

void WhisperMLModel::loadModel(const std::filesystem::path& at, platform::ml::ComputeUnits computeUnits,
                               bool prewarmMode, std::stop_token) {
    platform::ml::ModelConfiguration configuration;
    configuration.computeUnits = computeUnits;
    auto loaded = platform::ml::Model::load(at, configuration);
    setModel(prewarmMode ? nullptr : std::move(loaded));
}

void WhisperMLModel::unloadModel() { setModel(nullptr); }

}  // namespace DovuzudUza
