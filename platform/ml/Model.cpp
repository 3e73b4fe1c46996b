#include "platform/ml/Model.hpp"

#include "platform/ml/ModelError.hpp"
#include "platform/ml/ModelLoader.hpp"
#include "platform/ml/TensorSource.hpp"

namespace platform::ml {

std::shared_ptr<Model> Model::load(const std::filesystem::path& url, const ModelConfiguration& configuration) {
    return ModelLoader::load(url, configuration);
}

void Model::checkLoaded() const {
    if (!loaded_.load()) throw ModelError(ModelError::Kind::unloaded, "The model has been unloaded");
}

void Model::validateInputs(const FeatureProvider& input) const {
    for (const auto& [name, d] : description().inputDescriptionsByName) {
        auto value = input.featureValue(name);
        if (!value || value->type() == FeatureType::invalid) {
            if (d.isOptional) continue;
            throw ModelError(ModelError::Kind::invalidInput, "Missing input feature \"" + name + "\"");
        }
        if (value->type() != d.type) {
            throw ModelError(ModelError::Kind::invalidInput, "Input feature \"" + name + "\" should be " +
                                                                 std::string(featureTypeName(d.type)) + ", not " +
                                                                 std::string(featureTypeName(value->type())));
        }
        if (d.type != FeatureType::multiArray || !d.multiArrayConstraint) continue;
        const auto array = value->multiArrayValue();
        const auto& c = *d.multiArrayConstraint;
        if (array->dataType() != c.dataType) {
            throw ModelError(ModelError::Kind::invalidInput, "Input feature \"" + name + "\" should hold " +
                                                                 std::string(dataTypeName(c.dataType)) + ", not " +
                                                                 std::string(dataTypeName(array->dataType())));
        }
        if (array->shape() != c.shape) {
            throw ModelError(ModelError::Kind::invalidInput, "Input feature \"" + name + "\" should have shape " +
                                                                 shapeText(c.shape) + ", not " +
                                                                 shapeText(array->shape()));
        }
    }
}

DictionaryFeatureProvider Model::predict(const FeatureProvider& input, const PredictionOptions& options) {
    checkLoaded();
    if (validatesInputs_) validateInputs(input);
    return predictFeatures(input, options);
}

DictionaryFeatureProvider Model::predict(const FeatureProvider& input, State& state, const PredictionOptions& options) {
    checkLoaded();
    if (validatesInputs_) validateInputs(input);
    return predictFeatures(input, state, options);
}

std::shared_ptr<State> Model::makeState() {
    throw ModelError(ModelError::Kind::unsupported, "The model keeps no state");
}

DictionaryFeatureProvider Model::predictFeatures(const FeatureProvider&, State&, const PredictionOptions&) {
    throw ModelError(ModelError::Kind::unsupported, "The model keeps no state");
}

void Model::unload() {
    if (loaded_.exchange(false)) releaseResources();
}

}  // namespace platform::ml
