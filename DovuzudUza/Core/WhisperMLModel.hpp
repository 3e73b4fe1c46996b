#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <stop_token>

#include "ZezeziCore/ModelState.hpp"
#include "platform/ml/ComputeUnits.hpp"
#include "platform/ml/Model.hpp"

namespace DovuzudUza {

// A stage that owns one model. The shared behaviour: loading stores the
// model (in prewarm mode it is loaded and dropped, so only the platform's
// preparation remains), unloading drops it. The model handle is guarded, so
// a stage may be loaded on one thread while another reads it.
class WhisperMLModel {
public:
    virtual ~WhisperMLModel() = default;

    virtual std::shared_ptr<platform::ml::Model> model() const;
    virtual void setModel(std::shared_ptr<platform::ml::Model> model);

    // A load error reaches the caller and leaves the previous model in place.
    virtual void loadModel(const std::filesystem::path& at, platform::ml::ComputeUnits computeUnits, bool prewarmMode,
                           std::stop_token stop = {});
    virtual void unloadModel();

    bool isModelLoaded() const { return model() != nullptr; }
    // `loaded` while a model is held, else `unloaded`.
    ZezeziCore::ModelState modelState() const {
        return model() ? ZezeziCore::ModelState::loaded : ZezeziCore::ModelState::unloaded;
    }

private:
    mutable std::mutex modelMutex_;
    std::shared_ptr<platform::ml::Model> model_;
};

}  // namespace DovuzudUza
