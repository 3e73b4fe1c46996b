#include "platform/ml/FeatureValue.hpp"

#include <array>
#include <utility>

namespace platform::ml {

namespace {
constexpr std::array<std::pair<FeatureType, std::string_view>, 9> kNames{{
    {FeatureType::invalid, "invalid"},
    {FeatureType::int64, "int64"},
    {FeatureType::double_, "double"},
    {FeatureType::string, "string"},
    {FeatureType::image, "image"},
    {FeatureType::multiArray, "multiArray"},
    {FeatureType::dictionary, "dictionary"},
    {FeatureType::sequence, "sequence"},
    {FeatureType::state, "state"},
}};
}  // namespace

std::string_view featureTypeName(FeatureType type) {
    for (const auto& [t, n] : kNames) {
        if (t == type) return n;
    }
    return "invalid";
}

FeatureType featureTypeFromName(std::string_view name) {
    for (const auto& [t, n] : kNames) {
        if (n == name) return t;
    }
    return FeatureType::invalid;
}

FeatureValue::FeatureValue(std::shared_ptr<MultiArray> array) {
    if (array) value_ = std::move(array);
}

FeatureValue FeatureValue::int64(int64_t v) {
    FeatureValue f;
    f.value_ = v;
    return f;
}

FeatureValue FeatureValue::double_(double v) {
    FeatureValue f;
    f.value_ = v;
    return f;
}

FeatureValue FeatureValue::string(std::string v) {
    FeatureValue f;
    f.value_ = std::move(v);
    return f;
}

FeatureType FeatureValue::type() const {
    switch (value_.index()) {
        case 1: return FeatureType::int64;
        case 2: return FeatureType::double_;
        case 3: return FeatureType::string;
        case 4: return FeatureType::multiArray;
        default: return FeatureType::invalid;
    }
}

std::shared_ptr<MultiArray> FeatureValue::multiArrayValue() const {
    if (auto p = std::get_if<std::shared_ptr<MultiArray>>(&value_)) return *p;
    return nullptr;
}

int64_t FeatureValue::int64Value() const {
    if (auto p = std::get_if<int64_t>(&value_)) return *p;
    return 0;
}

double FeatureValue::doubleValue() const {
    if (auto p = std::get_if<double>(&value_)) return *p;
    return 0;
}

std::string FeatureValue::stringValue() const {
    if (auto p = std::get_if<std::string>(&value_)) return *p;
    return {};
}

}  // namespace platform::ml
