#include "platform/ml/fake/FakeModel.hpp"

#include "platform/ml/ModelLoader.hpp"
#include "platform/ml/ModelManifest.hpp"

namespace platform::ml {

FakeModel::FakeModel(ModelDescription description, Callback callback, ModelConfiguration configuration)
    : Model(configuration), description_(std::move(description)), callback_(std::move(callback)) {}

void FakeModel::setCallback(Callback callback) {
    std::lock_guard lock(mutex_);
    callback_ = std::move(callback);
}

DictionaryFeatureProvider FakeModel::zeroOutputs() const {
    DictionaryFeatureProvider out;
    for (const auto& [name, d] : description_.outputDescriptionsByName) {
        if (d.type == FeatureType::multiArray && d.multiArrayConstraint) {
            out.set(name, MultiArray::make(d.multiArrayConstraint->shape, d.multiArrayConstraint->dataType));
        }
    }
    return out;
}

int FakeModel::predictionCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(inputs_.size());
}

std::vector<DictionaryFeatureProvider> FakeModel::recordedInputs() const {
    std::lock_guard lock(mutex_);
    return inputs_;
}

DictionaryFeatureProvider FakeModel::predictFeatures(const FeatureProvider& input, const PredictionOptions&) {
    Callback callback;
    {
        DictionaryFeatureProvider copy;
        for (const auto& name : input.featureNames()) {
            if (auto v = input.featureValue(name)) copy.set(name, *v);
        }
        std::lock_guard lock(mutex_);
        inputs_.push_back(std::move(copy));
        callback = callback_;
    }
    return callback ? callback(input) : zeroOutputs();
}

void FakeModel::installAt(const std::filesystem::path& folder, std::shared_ptr<FakeModel> model) {
    ModelLoader::registerFolder(folder, [model](const std::filesystem::path&, const ModelConfiguration&) {
        return std::static_pointer_cast<Model>(model);
    });
}

void FakeModel::registerKind() {
    ModelLoader::registerKind(kind, [](const std::filesystem::path& folder, const ModelConfiguration& configuration) {
        auto manifest = ModelManifest::read(folder);
        return std::static_pointer_cast<Model>(
            std::make_shared<FakeModel>(std::move(manifest.description), Callback{}, configuration));
    });
}

}  // namespace platform::ml
