#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/ml/ComputeUnits.hpp"
#include "platform/ml/Model.hpp"

namespace platform::ml {

// A model folder "<name>.mlmodelc" holds "model.json" (kind, parameters and
// feature descriptions) and, for computing kinds, "weights.safetensors".
// Built-in kinds: "whisper-logmel", "whisper-encoder" and "whisper-decoder".
class ModelLoader {
public:
    using Factory = std::function<std::shared_ptr<Model>(const std::filesystem::path& folder,
                                                         const ModelConfiguration& configuration)>;

    static std::shared_ptr<Model> load(const std::filesystem::path& url, const ModelConfiguration& configuration = {});

    // The folder that holds "model.json" for a model URL: the folder itself,
    // or for ".../X.mlpackage/Data/<...>/model.mlmodel" the package folder.
    // Throws ModelError::modelNotFound.
    static std::filesystem::path modelFolder(const std::filesystem::path& url);

    // Adds a model kind (the "kind" of model.json).
    static void registerKind(const std::string& kind, Factory factory);

    // Test hook: loading this exact folder path calls `factory` instead of
    // reading files (the folder need not exist). An empty factory removes it.
    static void registerFolder(const std::filesystem::path& folder, Factory factory);
};

}  // namespace platform::ml
