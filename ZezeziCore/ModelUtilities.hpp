#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ml/Model.hpp"

namespace ZezeziCore {

// Loads and unloads one model.
class MLModelLoading {
public:
    virtual ~MLModelLoading() = default;
    virtual void loadModel(const std::filesystem::path& url, platform::ml::ComputeUnits computeUnits,
                           bool prewarmMode) = 0;
    virtual void unloadModel() = 0;
    void loadModel(const std::filesystem::path& url, platform::ml::ComputeUnits computeUnits) {
        loadModel(url, computeUnits, false);
    }
};

// A prediction; errors of the model reach the caller unchanged.
platform::ml::DictionaryFeatureProvider asyncPrediction(platform::ml::Model& model,
                                                         const platform::ml::FeatureProvider& input,
                                                         const platform::ml::PredictionOptions& options = {});
platform::ml::DictionaryFeatureProvider asyncPrediction(platform::ml::Model& model,
                                                         const platform::ml::FeatureProvider& input,
                                                         platform::ml::State& state,
                                                         const platform::ml::PredictionOptions& options = {});

// Where model files lie in a folder, and the shapes of a model's features.
struct ModelUtilities {
    static constexpr const char* packageModelPath = "Data/com.apple.CoreML/model.mlmodel";

    // "<name>.mlmodelc", unless only "<name>.mlpackage/Data/.../model.mlmodel" exists.
    static std::filesystem::path detectModelURL(const std::filesystem::path& folder, const std::string& name);
    // recursive: the first "<name>.mlmodelc" anywhere under the folder.
    static std::filesystem::path detectModelURL(const std::filesystem::path& folder, const std::string& name,
                                                bool recursive);
    // The first compiled model in the folder, else the first package's model file.
    static std::optional<std::filesystem::path> detectModelURL(const std::filesystem::path& folder);

    static std::optional<std::vector<int64_t>> getModelInputShape(const platform::ml::Model* model,
                                                                  const std::string& name);
    static std::optional<std::vector<int64_t>> getModelOutputShape(const platform::ml::Model* model,
                                                                   const std::string& name);
    static std::optional<int64_t> getModelInputDimension(const platform::ml::Model* model, const std::string& name,
                                                         int64_t position);
    static std::optional<int64_t> getModelOutputDimension(const platform::ml::Model* model, const std::string& name,
                                                          int64_t position);
};

}  // namespace ZezeziCore
