#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/ml/Model.hpp"

namespace DovuzudUza {

enum class FeatureDirection { input, output };

// One entry of a feature's declared multi-array shape; absent when there is
// no model, no such feature, the feature is not a multi-array, it has no
// constraint, or the shape is too short.
inline std::optional<int64_t> declaredDimension(const std::shared_ptr<platform::ml::Model>& model,
                                                FeatureDirection direction, const std::string& name, size_t position) {
    if (!model) return std::nullopt;
    const auto& description = model->description();
    const auto& features = direction == FeatureDirection::input ? description.inputDescriptionsByName
                                                                : description.outputDescriptionsByName;
    auto it = features.find(name);
    if (it == features.end()) return std::nullopt;
    const auto& feature = it->second;
    if (feature.type != platform::ml::FeatureType::multiArray || !feature.multiArrayConstraint) return std::nullopt;
    const auto& shape = feature.multiArrayConstraint->shape;
    if (position >= shape.size()) return std::nullopt;
    return shape[position];
}

}  // namespace DovuzudUza
