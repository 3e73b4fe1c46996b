#include "platform/ml/FeatureProvider.hpp"

namespace platform::ml {

std::shared_ptr<MultiArray> FeatureProvider::multiArray(const std::string& name) const {
    auto v = featureValue(name);
    return v ? v->multiArrayValue() : nullptr;
}

std::vector<std::string> DictionaryFeatureProvider::featureNames() const {
    std::vector<std::string> names;
    names.reserve(values_.size());
    for (const auto& [n, v] : values_) names.push_back(n);
    return names;
}

std::optional<FeatureValue> DictionaryFeatureProvider::featureValue(const std::string& name) const {
    auto it = values_.find(name);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

}  // namespace platform::ml
