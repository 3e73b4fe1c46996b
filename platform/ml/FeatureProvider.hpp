#pragma once

#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ml/FeatureValue.hpp"

namespace platform::ml {

// Named feature values: a model's inputs or outputs.
class FeatureProvider {
public:
    virtual ~FeatureProvider() = default;
    virtual std::vector<std::string> featureNames() const = 0;
    virtual std::optional<FeatureValue> featureValue(const std::string& name) const = 0;

    // The named multi-array, or null when absent or not a multi-array.
    std::shared_ptr<MultiArray> multiArray(const std::string& name) const;
};

// The plain provider: a map from name to value.
class DictionaryFeatureProvider : public FeatureProvider {
public:
    DictionaryFeatureProvider() = default;
    DictionaryFeatureProvider(std::initializer_list<std::pair<const std::string, FeatureValue>> values)
        : values_(values) {}

    std::vector<std::string> featureNames() const override;
    std::optional<FeatureValue> featureValue(const std::string& name) const override;

    void set(const std::string& name, FeatureValue value) { values_[name] = std::move(value); }
    bool contains(const std::string& name) const { return values_.count(name) != 0; }
    void erase(const std::string& name) { values_.erase(name); }
    size_t size() const { return values_.size(); }
    const std::map<std::string, FeatureValue>& values() const { return values_; }

private:
    std::map<std::string, FeatureValue> values_;
};

}  // namespace platform::ml
