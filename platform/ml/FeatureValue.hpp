#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "platform/ml/MultiArray.hpp"

namespace platform::ml {

// Kinds of model features, with the platform's numeric codes.
enum class FeatureType : int {
    invalid = 0,
    int64 = 1,
    double_ = 2,
    string = 3,
    image = 4,
    multiArray = 5,
    dictionary = 6,
    sequence = 7,
    state = 8,
};

// "invalid", "int64", "double", "string", "image", "multiArray", ...
std::string_view featureTypeName(FeatureType type);
FeatureType featureTypeFromName(std::string_view name);  // invalid when unknown

// One feature's value. Multi-arrays are shared, never copied.
class FeatureValue {
public:
    FeatureValue() = default;
    FeatureValue(std::shared_ptr<MultiArray> array);  // NOLINT: implicit on purpose
    static FeatureValue int64(int64_t v);
    static FeatureValue double_(double v);
    static FeatureValue string(std::string v);

    FeatureType type() const;
    std::shared_ptr<MultiArray> multiArrayValue() const;  // null unless a multi-array
    int64_t int64Value() const;                          // 0 unless int64
    double doubleValue() const;                          // 0 unless double
    std::string stringValue() const;                     // empty unless string

private:
    std::variant<std::monostate, int64_t, double, std::string, std::shared_ptr<MultiArray>> value_;
};

}  // namespace platform::ml
