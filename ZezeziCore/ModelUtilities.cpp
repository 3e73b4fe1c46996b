#include "ZezeziCore/ModelUtilities.hpp"

#include <algorithm>
#include <map>

namespace ZezeziCore {

namespace fs = std::filesystem;

platform::ml::DictionaryFeatureProvider asyncPrediction(platform::ml::Model& model,
                                                         const platform::ml::FeatureProvider& input,
                                                         const platform::ml::PredictionOptions& options) {
    return model.predict(input, options);
}

platform::ml::DictionaryFeatureProvider asyncPrediction(platform::ml::Model& model,
                                                         const platform::ml::FeatureProvider& input,
                                                         platform::ml::State& state,
                                                         const platform::ml::PredictionOptions& options) {
    return model.predict(input, state, options);
}

fs::path ModelUtilities::detectModelURL(const fs::path& folder, const std::string& name) {
    fs::path compiled = folder / (name + ".mlmodelc");
    fs::path package = folder / (name + ".mlpackage") / packageModelPath;
    std::error_code ec;
    if (!fs::exists(compiled, ec) && fs::exists(package, ec)) return package;
    return compiled;
}

fs::path ModelUtilities::detectModelURL(const fs::path& folder, const std::string& name, bool recursive) {
    if (!recursive) return detectModelURL(folder, name);
    fs::path direct = folder / (name + ".mlmodelc");
    std::error_code ec;
    if (fs::exists(direct, ec)) return direct;
    fs::recursive_directory_iterator it(folder, ec), end;
    if (ec) return direct;
    // Sorted so that "first" does not depend on the file system's order.
    std::vector<fs::path> matches;
    for (; it != end; it.increment(ec)) {
        if (ec) break;
        if (it->path().filename() == name + ".mlmodelc") matches.push_back(it->path());
    }
    if (matches.empty()) return direct;
    return *std::min_element(matches.begin(), matches.end());
}

std::optional<fs::path> ModelUtilities::detectModelURL(const fs::path& folder) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    if (ec) return std::nullopt;
    std::vector<fs::path> entries;
    for (; it != end; it.increment(ec)) {
        if (ec) return std::nullopt;
        entries.push_back(it->path());
    }
    std::sort(entries.begin(), entries.end());
    for (auto& e : entries)
        if (e.extension() == ".mlmodelc") return e;
    for (auto& e : entries)
        if (e.extension() == ".mlpackage") return e / packageModelPath;
    return std::nullopt;
}

namespace {

std::optional<std::vector<int64_t>> shapeIn(const std::map<std::string, platform::ml::FeatureDescription>& table,
                                            const std::string& name) {
    auto it = table.find(name);
    if (it == table.end()) return std::nullopt;
    if (it->second.type != platform::ml::FeatureType::multiArray) return std::nullopt;
    if (!it->second.multiArrayConstraint) return std::nullopt;
    return it->second.multiArrayConstraint->shape;
}

std::optional<int64_t> dimensionOf(const std::optional<std::vector<int64_t>>& shape, int64_t position) {
    if (!shape || position < 0 || position >= static_cast<int64_t>(shape->size())) return std::nullopt;
    return (*shape)[static_cast<size_t>(position)];
}

}  // namespace

std::optional<std::vector<int64_t>> ModelUtilities::getModelInputShape(const platform::ml::Model* model,
                                                                       const std::string& name) {
    if (!model) return std::nullopt;
    return shapeIn(model->description().inputDescriptionsByName, name);
}

std::optional<std::vector<int64_t>> ModelUtilities::getModelOutputShape(const platform::ml::Model* model,
                                                                        const std::string& name) {
    if (!model) return std::nullopt;
    return shapeIn(model->description().outputDescriptionsByName, name);
}

std::optional<int64_t> ModelUtilities::getModelInputDimension(const platform::ml::Model* model,
                                                              const std::string& name, int64_t position) {
    return dimensionOf(getModelInputShape(model, name), position);
}

std::optional<int64_t> ModelUtilities::getModelOutputDimension(const platform::ml::Model* model,
                                                               const std::string& name, int64_t position) {
    return dimensionOf(getModelOutputShape(model, name), position);
}

}  // namespace ZezeziCore
