#pragma once

#include <atomic>
#include <filesystem>
#include <memory>

#include "platform/ml/ComputeUnits.hpp"
#include "platform/ml/FeatureProvider.hpp"
#include "platform/ml/ModelDescription.hpp"

namespace platform::ml {

// State a stateful model keeps between predictions.
class State {
public:
    virtual ~State() = default;
};

// A loaded model. predict() may be called from several threads at once.
class Model {
public:
    virtual ~Model() = default;

    // Opens "<name>.mlmodelc" folders (see ModelLoader). Throws ModelError.
    static std::shared_ptr<Model> load(const std::filesystem::path& url, const ModelConfiguration& configuration = {});

    virtual const ModelDescription& description() const = 0;
    const ModelConfiguration& configuration() const { return configuration_; }

    // Checks the inputs against the description (presence, element type,
    // shape), then runs the model. Throws ModelError.
    DictionaryFeatureProvider predict(const FeatureProvider& input, const PredictionOptions& options = {});
    DictionaryFeatureProvider predict(const FeatureProvider& input, State& state,
                                      const PredictionOptions& options = {});

    // A fresh state for stateful prediction; unsupported by default.
    virtual std::shared_ptr<State> makeState();

    // Releases the model's memory; later predictions fail with `unloaded`.
    void unload();
    bool isLoaded() const { return loaded_.load(); }

    // Input checking can be turned off (fakes that take anything).
    void setValidatesInputs(bool on) { validatesInputs_ = on; }

protected:
    explicit Model(ModelConfiguration configuration = {}) : configuration_(configuration) {}

    virtual DictionaryFeatureProvider predictFeatures(const FeatureProvider& input, const PredictionOptions& options) = 0;
    virtual DictionaryFeatureProvider predictFeatures(const FeatureProvider& input, State& state,
                                                      const PredictionOptions& options);
    virtual void releaseResources() {}

    void validateInputs(const FeatureProvider& input) const;

private:
    void checkLoaded() const;

    ModelConfiguration configuration_;
    std::atomic<bool> loaded_{true};
    bool validatesInputs_ = true;
};

}  // namespace platform::ml
