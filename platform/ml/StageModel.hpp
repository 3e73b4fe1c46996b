#pragma once

#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/ml/Model.hpp"
#include "platform/ml/ModelManifest.hpp"

namespace platform::ml {

// Shared by the computing stages: the description each stage derives from
// its parameters, checked against what model.json declares.
class StageModel : public Model {
public:
    const ModelDescription& description() const override { return description_; }

protected:
    StageModel(ModelDescription derived, const ModelManifest& manifest, ModelConfiguration configuration);

private:
    ModelDescription description_;
};

// A positive integer parameter of model.json; `fallback` when absent (or an
// error when the fallback is negative). Throws ModelError::invalidModel.
int64_t modelParameter(const nlohmann::json& parameters, const char* name, int64_t fallback = -1);

// Parameters that cannot describe one model: "Inconsistent <stage> parameters
// in model.json (<path>): <detail>". Throws ModelError::invalidModel.
[[noreturn]] void inconsistentParameters(const ModelManifest& manifest, const std::string& stage,
                                         const std::string& detail);
// "\"<name>\" (<value>)", for the detail of such an error.
std::string namedParameter(const char* name, int64_t value);

// Key of a multi-array's contents (pointer, layout and a hash of the bytes).
struct ArrayKey {
    const void* data = nullptr;
    std::vector<int64_t> shape;
    std::vector<int64_t> strides;
    uint64_t hash = 0;
    bool operator==(const ArrayKey&) const = default;
};
ArrayKey arrayKey(const class MultiArray& array);

}  // namespace platform::ml
