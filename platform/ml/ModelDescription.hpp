#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/ml/DataType.hpp"
#include "platform/ml/FeatureValue.hpp"

namespace platform::ml {

struct MultiArrayConstraint {
    std::vector<int64_t> shape;
    DataType dataType = DataType::float32;
    bool operator==(const MultiArrayConstraint&) const = default;
};

struct FeatureDescription {
    std::string name;
    FeatureType type = FeatureType::multiArray;
    bool isOptional = false;
    std::optional<MultiArrayConstraint> multiArrayConstraint;  // for multiArray features
    bool operator==(const FeatureDescription&) const = default;

    static FeatureDescription multiArray(std::string name, std::vector<int64_t> shape, DataType dataType,
                                         bool isOptional = false) {
        return FeatureDescription{std::move(name), FeatureType::multiArray, isOptional,
                                  MultiArrayConstraint{std::move(shape), dataType}};
    }
};

// What a model takes and gives, by feature name.
struct ModelDescription {
    std::map<std::string, FeatureDescription> inputDescriptionsByName;
    std::map<std::string, FeatureDescription> outputDescriptionsByName;
    std::map<std::string, FeatureDescription> stateDescriptionsByName;  // empty unless stateful
    std::map<std::string, std::string> metadata;
    bool operator==(const ModelDescription&) const = default;

    void addInput(FeatureDescription d) { auto n = d.name; inputDescriptionsByName[n] = std::move(d); }
    void addOutput(FeatureDescription d) { auto n = d.name; outputDescriptionsByName[n] = std::move(d); }
    void addState(FeatureDescription d) { auto n = d.name; stateDescriptionsByName[n] = std::move(d); }
};

}  // namespace platform::ml
