#pragma once

#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/ml/ModelDescription.hpp"

namespace platform::ml {

// The content of a model folder's "model.json":
// {"kind": "...", "parameters": {...}, "inputs": [...], "outputs": [...],
//  "states": [...], "metadata": {...}}; each feature is
// {"name", "type" ("multiArray", ...), "dataType", "shape", "optional"}.
struct ModelManifest {
    std::string kind;
    nlohmann::json parameters = nlohmann::json::object();
    ModelDescription description;
    // The model.json it was read from; empty when built in memory.
    std::filesystem::path source;

    // "model.json", followed by its path when it came from a file.
    std::string sourceName() const;

    static ModelManifest read(const std::filesystem::path& folder);  // throws ModelError
    static ModelManifest fromJson(const nlohmann::json& json);       // throws ModelError
    nlohmann::json toJson() const;
    void write(const std::filesystem::path& folder) const;  // creates the folder
};

}  // namespace platform::ml
